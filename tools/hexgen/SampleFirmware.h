#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Image bytes that depend only on the seed, the same on every machine.
std::vector<std::uint8_t> sampleImage(std::size_t size, std::uint64_t seed);

// "veltrax_MMDDYYYY.hex" for a valid MMDDYYYY date; nullopt otherwise.
std::optional<std::string> firmwareFileName(const std::string &mmddyyyy);
