#pragma once

#include "HexRecord.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// The flash contents that a stream of checked records describes. Keeps the
// address base that extended address records set, and remembers which bytes
// were written so that a line sent twice or two overlapping records show.
class FlashImage {
public:
    enum class Load {
        Stored,    // data stored, or an address record taken
        Overlap,   // data stored, but some of its bytes had been written before
        EndOfFile, // the end-of-file record
        Ignored,   // start address records: nothing to store
    };

    Load apply(const HexRecord &record);
    void clear();

    bool empty() const { return m_written == 0; }
    std::size_t bytesWritten() const { return m_written; }
    std::uint32_t lowest() const;
    // One past the highest written address.
    std::uint64_t end() const;
    // From the lowest to the highest written address; never-written bytes are
    // erased flash (0xFF).
    std::vector<std::uint8_t> toBinary() const;

private:
    static constexpr std::size_t kPageSize = 4096;
    struct Page {
        std::array<std::uint8_t, kPageSize> bytes{};
        std::bitset<kPageSize> written;
    };

    // False when the byte had been written before.
    bool store(std::uint32_t address, std::uint8_t value);

    std::map<std::uint32_t, Page> m_pages;
    std::uint32_t m_base = 0;
    std::size_t m_written = 0;
};
