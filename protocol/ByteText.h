#pragma once

#include <QString>
#include <cstdint>

// A received byte as the technician reads it: upper-case hexadecimal without
// leading zero or prefix (0x06 is "6", 0x80 is "80").
QString byteHex(std::uint8_t byte);

// One debug log entry: the byte's hex digits and one blank, nothing else, so
// the log reads as a plain run of bytes.
QString logEntry(std::uint8_t byte);
