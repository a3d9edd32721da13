#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A raw pseudo-terminal for the floor measurements: the master is the
// instrument's end, the slave the program's, in raw mode like a serial line.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string problem; // empty when both ends are open
};

// `slaveFlags` are added to the slave's open flags (O_NONBLOCK, say).
PtyPair openRawPty(int slaveFlags);

// Reads exactly `count` bytes, through interrupted reads; false at the end of
// the line or on an error.
bool readExactly(int fd, std::uint8_t *buffer, std::size_t count);
