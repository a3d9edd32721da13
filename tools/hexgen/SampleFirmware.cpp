#include "SampleFirmware.h"

#include <algorithm>
#include <cctype>

namespace {

// splitmix64: the same sequence on every machine, unlike the standard library's distributions.
std::uint64_t nextRandom(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

std::vector<std::uint8_t> sampleImage(std::size_t size, std::uint64_t seed)
{
    std::vector<std::uint8_t> image(size);
    std::uint64_t state = seed;
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t word = nextRandom(state);
        for (std::size_t k = i; k < std::min(size, i + 8); ++k, word >>= 8)
            image[k] = static_cast<std::uint8_t>(word);
    }
    return image;
}

std::optional<std::string> firmwareFileName(const std::string &mmddyyyy)
{
    if (mmddyyyy.size() != 8 || !std::all_of(mmddyyyy.begin(), mmddyyyy.end(),
                                             [](unsigned char c) { return std::isdigit(c) != 0; }))
        return std::nullopt;
    const int month = std::stoi(mmddyyyy.substr(0, 2));
    const int day = std::stoi(mmddyyyy.substr(2, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    return "veltrax_" + mmddyyyy + ".hex";
}
