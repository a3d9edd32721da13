#include "LineFigures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint8_t SOH = 0x01;
constexpr std::uint8_t ENQ = 0x05;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t FlashReady = 0x80;
// Two ENQs set the monitor up; the third answers the flash-ready byte.
constexpr int EnquiriesBeforeLines = 3;

using Direction = RecordingByteDevice::Direction;

} // namespace

LineStage findLineStage(const std::vector<RecordingByteDevice::Event> &events)
{
    LineStage stage;
    std::size_t i = 0;
    for (int enquiries = 0; i < events.size() && enquiries < EnquiriesBeforeLines; ++i)
        enquiries += events[i].direction == Direction::Sent && events[i].byte == ENQ;
    while (i < events.size() && !(events[i].direction == Direction::Sent && events[i].byte == SOH))
        ++i;
    if (i == events.size())
        return stage;

    const auto begin = events[i].at;
    auto lastAck = begin;
    bool ackPending = false; // an ACK has come and its next line has not begun
    for (; i < events.size(); ++i) {
        const RecordingByteDevice::Event &event = events[i];
        if (event.direction == Direction::Sent) {
            if (ackPending)
                stage.turnarounds.push_back(event.at - lastAck);
            ackPending = false;
            ++stage.bytesSent;
            continue;
        }
        if (event.byte != ACK)
            break;
        ++stage.bytesReceived;
        ++stage.lines;
        lastAck = event.at;
        ackPending = true;
    }
    stage.found = stage.lines > 0;
    stage.duration = lastAck - begin;
    return stage;
}

LineStage lineStageOnTheLine(const SimulatorLog &log)
{
    using Kind = SimulatorLogEntry::Kind;
    LineStage stage;
    const int ready = log.noteIndex(QStringLiteral("ready for records"));
    if (ready < 0)
        return stage;
    const std::vector<SimulatorLogEntry> &entries = log.entries();
    // Bytes are logged when read, notes when the paced monitor gets to them:
    // the first line may be read before the note that the ENQ ahead of it
    // made the monitor ready. The stage begins after that ENQ, the first one
    // read after the flash-ready byte went out.
    std::size_t i = static_cast<std::size_t>(ready);
    while (i > 0 && !(entries[i].kind == Kind::Sent && entries[i].byte == FlashReady))
        --i;
    while (i < entries.size() && !(entries[i].kind == Kind::Received && entries[i].byte == ENQ))
        ++i;
    std::chrono::microseconds begin{0}, lastAck{0};
    bool begun = false, endOfFile = false;
    for (++i; i < entries.size(); ++i) {
        const SimulatorLogEntry &entry = entries[i];
        if (entry.kind == Kind::Note) {
            endOfFile = endOfFile || entry.note.contains(QLatin1String("end of file"));
            continue;
        }
        if (entry.kind == Kind::Received) {
            if (!begun)
                begin = entry.at;
            begun = true;
            ++stage.bytesSent;
            continue;
        }
        if (entry.byte != ACK)
            break;
        // An ACK of the erase may still leave after the ENQ.
        if (!begun)
            continue;
        ++stage.bytesReceived;
        ++stage.lines;
        lastAck = entry.at;
        if (endOfFile) {
            stage.found = true;
            break;
        }
    }
    stage.duration = lastAck - begin;
    return stage;
}

std::vector<Nanoseconds> turnaroundsOnTheLine(const SimulatorLog &log)
{
    using Kind = SimulatorLogEntry::Kind;
    std::vector<Nanoseconds> turnarounds;
    const int ready = log.noteIndex(QStringLiteral("ready for records"));
    if (ready < 0)
        return turnarounds;
    const std::vector<SimulatorLogEntry> &entries = log.entries();
    const SimulatorLogEntry *ack = nullptr;
    for (std::size_t i = static_cast<std::size_t>(ready) + 1; i < entries.size(); ++i) {
        const SimulatorLogEntry &entry = entries[i];
        if (entry.kind == Kind::Note && entry.note.contains(QLatin1String("end of file")))
            break;
        if (entry.kind == Kind::Sent && entry.byte == ACK) {
            ack = &entry;
        } else if (entry.kind == Kind::Received && ack) {
            turnarounds.push_back(entry.at - ack->at);
            ack = nullptr;
        }
    }
    return turnarounds;
}

std::vector<Nanoseconds> instrumentLatenessOnTheLine(const SimulatorLog &log)
{
    using Kind = SimulatorLogEntry::Kind;
    // The simulator's pacing: 19200 baud rounded up to whole microseconds.
    constexpr std::chrono::microseconds PacedByte{521};
    std::vector<Nanoseconds> lateness;
    const int ready = log.noteIndex(QStringLiteral("ready for records"));
    if (ready < 0)
        return lateness;
    const std::vector<SimulatorLogEntry> &entries = log.entries();
    std::chrono::microseconds lineStart{0};
    int lineBytes = 0;
    for (std::size_t i = static_cast<std::size_t>(ready) + 1; i < entries.size(); ++i) {
        const SimulatorLogEntry &entry = entries[i];
        if (entry.kind == Kind::Received) {
            if (lineBytes++ == 0)
                lineStart = entry.at;
        } else if (entry.kind == Kind::Sent) {
            if (entry.byte != ACK)
                break;
            // An ACK the monitor gave while it erased may still leave after
            // it said it was ready.
            if (lineBytes == 0)
                continue;
            lateness.push_back(entry.at - (lineStart + (lineBytes + 1) * PacedByte));
            lineBytes = 0;
        }
    }
    return lateness;
}

Nanoseconds wireTime(long long bytes)
{
    constexpr long long BitsPerByte = 10;
    constexpr long long Baud = 19200;
    return Nanoseconds(bytes * BitsPerByte * 1000000000LL / Baud);
}

Spread spreadOf(std::vector<Nanoseconds> samples)
{
    Spread spread;
    if (samples.empty())
        return spread;
    std::sort(samples.begin(), samples.end());
    const auto rank = [&samples](double share) {
        const auto index =
            static_cast<std::size_t>(std::ceil(share * static_cast<double>(samples.size())));
        return samples[std::clamp<std::size_t>(index, 1, samples.size()) - 1];
    };
    spread.count = static_cast<int>(samples.size());
    Nanoseconds sum{0};
    for (const Nanoseconds sample : samples)
        sum += sample;
    spread.mean = sum / spread.count;
    spread.median = rank(0.5);
    spread.p99 = rank(0.99);
    spread.max = samples.back();
    return spread;
}
