#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Intel HEX text for an image placed at `base`: data records of up to 16
// bytes that never cross a 64 KiB boundary, an extended linear address record
// wherever the upper 16 address bits change (none while they stay 0), and the
// end-of-file record. Lines without their line ends, digits in upper case.
std::vector<std::string> encodeIntelHex(const std::vector<std::uint8_t> &image,
                                        std::uint32_t base = 0);
