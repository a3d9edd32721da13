#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run as a crash does, so libFuzzer keeps the input.
inline void require(bool holds, const char *invariant)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}
