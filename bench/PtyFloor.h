#pragma once

#include <chrono>
#include <string>
#include <vector>

// The pseudo-terminal's own round trip, as the benchmark's line has it: a
// line's bytes written at the master end (the simulator's), read whole at the
// slave end (the program's), one byte back. Two processes that do nothing
// else, blocking reads, no event loop: no program and no simulator can turn a
// line around through this machine's pseudo-terminals faster. Between round
// trips both ends sleep for `gap`, as they do while a line is on the wire.
struct PtyRoundTrips {
    std::vector<std::chrono::nanoseconds> samples;
    std::string problem; // empty when measured
};

PtyRoundTrips measurePtyRoundTrips(int count, int lineBytes, std::chrono::microseconds gap);
