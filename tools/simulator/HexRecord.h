#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One Intel HEX record as the monitor receives it after SOH: byte count,
// address (high, low), record type, data, checksum. The monitor has no line
// terminator to go by, so the byte count alone says where a record ends.

enum class RecordType : std::uint8_t {
    Data = 0x00,
    EndOfFile = 0x01,
    ExtendedSegmentAddress = 0x02,
    StartSegmentAddress = 0x03,
    ExtendedLinearAddress = 0x04,
    StartLinearAddress = 0x05,
};

struct HexRecord {
    RecordType type = RecordType::Data;
    std::uint16_t offset = 0;
    std::vector<std::uint8_t> data;
};

enum class RecordFault {
    None,
    Empty,       // no byte after SOH
    TooShort,    // fewer bytes than the byte count claims
    TooLong,     // more bytes than the byte count claims
    BadChecksum, // the bytes do not sum to zero
    UnknownType, // a record type the monitor does not know
    WrongLength, // a known type with the wrong data length (EOF with data, ...)
};

struct RecordCheck {
    RecordFault fault = RecordFault::None;
    HexRecord record; // meaningful only when ok()
    std::string detail;

    bool ok() const { return fault == RecordFault::None; }
};

// Number of bytes a record whose first byte (the byte count) is `count` has.
constexpr std::size_t recordSize(std::uint8_t count)
{
    return std::size_t{count} + 5;
}

// Checks the bytes of one record and takes it apart.
RecordCheck checkRecord(const std::vector<std::uint8_t> &bytes);

// The two's complement of the sum of the bytes: what a record's last byte must be.
std::uint8_t recordChecksum(const std::uint8_t *bytes, std::size_t count);

// ":" followed by hexadecimal pairs (either case) -> the bytes; nullopt for
// anything else. Trailing CR or LF is ignored.
std::optional<std::vector<std::uint8_t>> decodeHexLine(std::string_view line);
