// The simulated instrument reading what reaches it. The input is read twice:
// as lines of a HEX file (the record parser and the flash image), and as raw
// bytes on the line into the monitor, from power-up or from the moment it
// takes records. Neither may crash, hang or grow beyond the input's measure.
#include "FlashImage.h"
#include "FuzzCheck.h"
#include "HexRecord.h"
#include "MonitorMachine.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

using namespace std::chrono_literals;

void checkImage(const FlashImage &image, std::size_t dataBytes)
{
    require(image.bytesWritten() <= dataBytes, "more bytes written than the records carried");
    const std::uint64_t span = image.empty() ? 0 : image.end() - image.lowest();
    require(span >= image.bytesWritten(), "image shorter than the bytes written in it");
    // Beyond this the image is not laid out flat (the simulator refuses to).
    if (span <= (1u << 20))
        require(image.toBinary().size() == span, "flat image of the wrong length");
}

void checkRecordLines(std::string_view input)
{
    FlashImage image;
    std::size_t dataBytes = 0;
    while (!input.empty()) {
        std::string_view line = input.substr(0, input.find('\n'));
        input.remove_prefix(std::min(line.size() + 1, input.size()));
        const auto bytes = decodeHexLine(line);
        if (!bytes)
            continue;
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        require(line.size() == 1 + 2 * bytes->size(), "decoded byte count differs from the pairs",
                std::string(line));
        for (std::size_t i = 0; i < bytes->size(); ++i)
            require(std::stoi(std::string(line.substr(1 + 2 * i, 2)), nullptr, 16) == (*bytes)[i],
                    "decoded byte differs from its pair", std::string(line));
        const RecordCheck check = checkRecord(*bytes);
        if (!check.ok()) {
            require(!check.detail.empty(), "a refused record without a reason", std::string(line));
            continue;
        }
        unsigned sum = 0;
        for (const std::uint8_t byte : *bytes)
            sum += byte;
        require(bytes->size() == recordSize(bytes->front()) && sum % 256 == 0 &&
                    check.record.data.size() == bytes->front(),
                "record taken at the wrong length or with a bad checksum", std::string(line));
        image.apply(check.record);
        dataBytes += check.record.data.size();
    }
    checkImage(image, dataBytes);
}

// First byte, bit 0: the monitor has erased its flash and takes records. Bit 1:
// every byte comes after a silence that cuts short what it was receiving.
void checkMonitor(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    MonitorMachine machine{MonitorSettings{}};
    SimTime now{0};
    std::size_t answered = 0;
    const auto drain = [&] {
        for (const Emission &emission : machine.takeEmissions())
            answered += emission.bytes.size();
        answered += machine.takeNotes().size();
    };
    const auto send = [&](std::string_view bytes, SimTime pace, SimTime silence) {
        for (const char byte : bytes) {
            machine.receive(static_cast<std::uint8_t>(byte), now += pace);
            drain();
        }
        machine.advance(now += silence);
        drain();
    };
    if (data[0] & 1) {
        send(std::string_view("\x1B\x01\x48\x01\x00\x49", 6), wire::ByteTime, 1s);
        send("quandrel\r\n\x05\x05", wire::ByteTime, 1s);
        send("\x05", wire::ByteTime, 0s);
        require(machine.stage() == UpdateStage::FlashErased, "monitor not ready for records");
    }
    answered = 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    send(bytes, (data[0] & 2) ? MonitorSettings{}.gap + 1ms : wire::ByteTime, 1h);
    const std::optional<SimTime> deadline = machine.nextDeadline();
    require(!deadline || *deadline > now, "a timer left due after its time");
    require(machine.lines() <= std::count(bytes.begin(), bytes.end(), '\x01'),
            "more lines counted than SOH sent");
    // Each byte is worth at most a start-up text and a note or two.
    require(answered <= 64 * (bytes.size() + 1), "answers and notes out of all measure");
    checkImage(machine.image(), bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkRecordLines(std::string_view(reinterpret_cast<const char *>(data), size));
    checkMonitor(data, size);
    return 0;
}
