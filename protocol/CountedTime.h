#pragma once

#include "WireProtocol.h"

#include <chrono>

// Time as the waits measure it: only reads that came back empty count, one
// poll interval each. Bytes neither advance nor reset it, so a chattering
// instrument cannot keep a wait alive for ever, nor cut it short.
class CountedTime {
public:
    void addEmptyRead() { m_elapsed += Wire::PollRead; }
    bool exceeds(std::chrono::milliseconds limit) const { return m_elapsed > limit; }

private:
    std::chrono::milliseconds m_elapsed{0};
};
