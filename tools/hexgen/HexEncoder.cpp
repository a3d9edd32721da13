#include "HexEncoder.h"

#include <algorithm>

namespace {

constexpr std::size_t kRecordData = 16;

std::string record(std::uint8_t type, std::uint16_t offset, const std::uint8_t *data,
                   std::size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string line = ":";
    unsigned sum = 0;
    const auto put = [&](std::uint8_t byte) {
        line += digits[byte >> 4];
        line += digits[byte & 0x0F];
        sum += byte;
    };
    put(static_cast<std::uint8_t>(count));
    put(static_cast<std::uint8_t>(offset >> 8));
    put(static_cast<std::uint8_t>(offset & 0xFF));
    put(type);
    for (std::size_t i = 0; i < count; ++i)
        put(data[i]);
    put(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    return line;
}

} // namespace

std::vector<std::string> encodeIntelHex(const std::vector<std::uint8_t> &image, std::uint32_t base)
{
    std::vector<std::string> lines;
    std::uint32_t upper = 0;
    std::size_t done = 0;
    while (done < image.size()) {
        const std::uint32_t address = base + static_cast<std::uint32_t>(done);
        if (address >> 16 != upper) {
            upper = address >> 16;
            const std::uint8_t high[] = {static_cast<std::uint8_t>(upper >> 8),
                                         static_cast<std::uint8_t>(upper & 0xFF)};
            lines.push_back(record(0x04, 0, high, 2));
        }
        const std::size_t toBoundary = 0x10000 - (address & 0xFFFF);
        const std::size_t count = std::min({kRecordData, image.size() - done, toBoundary});
        lines.push_back(
            record(0x00, static_cast<std::uint16_t>(address & 0xFFFF), image.data() + done, count));
        done += count;
    }
    lines.push_back(record(0x01, 0, nullptr, 0));
    return lines;
}
