// The simulated instrument reading what reaches it. The input is read twice:
// as lines of a HEX file (the record parser and the flash image), and as raw
// bytes on the line into the monitor, from power-up or from the moment it
// takes records. Neither may crash, hang or grow beyond the input's measure.
#include "FlashImage.h"
#include "FuzzCheck.h"
#include "HexRecord.h"
#include "MonitorMachine.h"

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace std::chrono_literals;

// Beyond this the image is not laid out flat: two records at the ends of the
// 32-bit address space would span 4 GiB of erased flash.
constexpr std::uint64_t MaxFlatImage = 1u << 20;

void checkImage(const FlashImage &image, std::size_t dataBytes)
{
    require(image.bytesWritten() <= dataBytes, "more bytes written than the records carried");
    if (image.empty())
        return;
    const std::uint64_t span = image.end() - image.lowest();
    require(span >= image.bytesWritten(), "image shorter than the bytes written in it");
    if (span <= MaxFlatImage)
        require(image.toBinary().size() == span, "flat image of the wrong length");
}

void checkRecordLine(std::string_view line, FlashImage &image, std::size_t &dataBytes)
{
    const auto bytes = decodeHexLine(line);
    if (!bytes)
        return;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    require(line.size() == 1 + 2 * bytes->size(), "decoded byte count differs from the pairs");
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        const char high = digits[(*bytes)[i] >> 4];
        const char low = digits[(*bytes)[i] & 0x0F];
        require(std::toupper(static_cast<unsigned char>(line[1 + 2 * i])) == high &&
                    std::toupper(static_cast<unsigned char>(line[2 + 2 * i])) == low,
                "decoded byte differs from its pair", line);
    }

    const RecordCheck check = checkRecord(*bytes);
    if (!check.ok()) {
        require(!check.detail.empty(), "a refused record without a reason", line);
        return;
    }
    require(bytes->size() == recordSize(bytes->front()), "record taken at the wrong length", line);
    unsigned sum = 0;
    for (const std::uint8_t byte : *bytes)
        sum += byte;
    require(sum % 256 == 0, "record taken with a bad checksum", line);
    require(check.record.data.size() == bytes->front(), "record data of the wrong length", line);
    image.apply(check.record);
    dataBytes += check.record.data.size();
}

void checkRecordLines(std::string_view input)
{
    FlashImage image;
    std::size_t dataBytes = 0;
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        checkRecordLine(input.substr(0, end), image, dataBytes);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    }
    checkImage(image, dataBytes);
}

// The uploader's side on a virtual clock, counting what the monitor answers
// and notes, and dropping it as it goes.
class Line {
public:
    MonitorMachine machine{MonitorSettings{}};
    SimTime now{0};
    std::size_t answered = 0;
    std::size_t noted = 0;

    void send(std::string_view bytes, SimTime pace = wire::ByteTime)
    {
        for (const char byte : bytes) {
            machine.receive(static_cast<std::uint8_t>(byte), now += pace);
            drain();
        }
    }
    void wait(SimTime silence)
    {
        machine.advance(now += silence);
        drain();
    }

private:
    void drain()
    {
        for (const Emission &emission : machine.takeEmissions())
            answered += emission.bytes.size();
        noted += machine.takeNotes().size();
    }
};

void checkMonitor(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    // Bit 0: the monitor has erased its flash and takes records. Bit 1: every
    // byte comes after a silence that cuts short what it was receiving.
    const std::uint8_t mode = data[0];
    const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);

    Line line;
    if (mode & 1) {
        line.send("\x1B");
        line.send(std::string_view("\x01\x48\x01\x00\x49", 5));
        line.wait(1s);
        line.send("quandrel\r\n");
        line.send("\x05\x05");
        line.wait(1s);
        line.send("\x05");
        require(line.machine.stage() == UpdateStage::FlashErased, "monitor not ready for records");
    }
    const std::size_t before = line.answered + line.noted;
    line.send(bytes, (mode & 2) ? MonitorSettings{}.gap + 1ms : wire::ByteTime);
    const SimTime end = line.now + 1h;
    line.wait(1h);
    const std::optional<SimTime> deadline = line.machine.nextDeadline();
    require(!deadline || *deadline > end, "a timer left due after its time");

    std::size_t sohs = 0;
    for (const char byte : bytes)
        sohs += byte == '\x01';
    require(line.machine.lines() <= static_cast<int>(sohs), "more lines counted than SOH sent");
    // Each byte is worth at most a start-up text and a note or two.
    require(line.answered + line.noted - before <= 64 * (bytes.size() + 1),
            "answers and notes out of all measure");
    checkImage(line.machine.image(), bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    checkRecordLines(std::string_view(reinterpret_cast<const char *>(data), size));
    checkMonitor(data, size);
    return 0;
}
