#include "HexRecord.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string hexByte(std::uint8_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 0x0F]};
}

// Data length each known type must carry; -1 for any.
int requiredLength(std::uint8_t type)
{
    switch (static_cast<RecordType>(type)) {
    case RecordType::Data:
        return -1;
    case RecordType::EndOfFile:
        return 0;
    case RecordType::ExtendedSegmentAddress:
    case RecordType::ExtendedLinearAddress:
        return 2;
    case RecordType::StartSegmentAddress:
    case RecordType::StartLinearAddress:
        return 4;
    }
    return -2;
}

RecordCheck refuse(RecordFault fault, std::string detail)
{
    RecordCheck check;
    check.fault = fault;
    check.detail = std::move(detail);
    return check;
}

} // namespace

std::uint8_t recordChecksum(const std::uint8_t *bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

RecordCheck checkRecord(const std::vector<std::uint8_t> &bytes)
{
    if (bytes.empty())
        return refuse(RecordFault::Empty, "no record after SOH");
    const std::size_t expected = recordSize(bytes[0]);
    if (bytes.size() < expected)
        return refuse(RecordFault::TooShort, "byte count " + std::to_string(bytes[0]) + " needs " +
                                                 std::to_string(expected) + " bytes, got " +
                                                 std::to_string(bytes.size()));
    if (bytes.size() > expected)
        return refuse(RecordFault::TooLong, "byte count " + std::to_string(bytes[0]) + " needs " +
                                                std::to_string(expected) + " bytes, got " +
                                                std::to_string(bytes.size()));
    const std::uint8_t sum = recordChecksum(bytes.data(), bytes.size() - 1);
    if (sum != bytes.back())
        return refuse(RecordFault::BadChecksum,
                      "checksum " + hexByte(bytes.back()) + ", expected " + hexByte(sum));
    const std::uint8_t type = bytes[3];
    const int length = requiredLength(type);
    if (length == -2)
        return refuse(RecordFault::UnknownType, "unknown record type " + hexByte(type));
    if (length >= 0 && bytes[0] != length)
        return refuse(RecordFault::WrongLength, "record type " + hexByte(type) + " with " +
                                                    std::to_string(bytes[0]) + " data bytes");

    RecordCheck check;
    check.record.type = static_cast<RecordType>(type);
    check.record.offset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    check.record.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return check;
}

std::optional<std::vector<std::uint8_t>> decodeHexLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.empty() || line.front() != ':' || line.size() % 2 == 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(line.size() / 2);
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        const int high = hexDigit(line[i]);
        const int low = hexDigit(line[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}
