#pragma once

#include "RecordingByteDevice.h"
#include "SimulatorLog.h"

#include <chrono>
#include <vector>

using Nanoseconds = std::chrono::nanoseconds;

// The line stage of one update as the program's own serial device saw it:
// from the first line's SOH leaving to the last line's ACK arriving.
struct LineStage {
    bool found = false;
    Nanoseconds duration{0};
    long long bytesSent = 0;     // SOH and the record bytes of every line
    long long bytesReceived = 0; // the ACKs
    int lines = 0;
    // For each line but the last: its ACK taken by the program to the next
    // line's SOH handed to the port.
    std::vector<Nanoseconds> turnarounds;
};

// The stage begins with the first SOH after the third ENQ (the one that
// follows the flash-ready byte) and ends with the last ACK before any other
// byte comes back (the verdict text).
LineStage findLineStage(const std::vector<RecordingByteDevice::Event> &events);

// The line stage as the simulated instrument saw it, from its log alone (for
// a program that runs in another process): from the first byte of the first
// line read to the ACK of the end-of-file record sent; bytesSent counts what
// the program sent (read by the instrument), bytesReceived the ACKs. Not found
// unless the end-of-file record was acknowledged.
LineStage lineStageOnTheLine(const SimulatorLog &log);

// The same turnarounds seen from the simulator's end of the line: each ACK it
// wrote during the transfer to the next byte it read. These include the
// pseudo-terminal both ways and the simulator's own wake-up.
std::vector<Nanoseconds> turnaroundsOnTheLine(const SimulatorLog &log);

// For each line the simulator answered, paced: how much later than the wire
// allows its ACK went out, that is after the line's first byte was read, the
// line's bytes and the ACK each took their 521 us.
std::vector<Nanoseconds> instrumentLatenessOnTheLine(const SimulatorLog &log);

// 19200 baud, 10 bits a byte (start, 8 data, stop).
Nanoseconds wireTime(long long bytes);

struct Spread {
    int count = 0;
    Nanoseconds mean{0};
    Nanoseconds median{0};
    Nanoseconds p99{0};
    Nanoseconds max{0};
};

// Nearest-rank percentiles.
Spread spreadOf(std::vector<Nanoseconds> samples);
