#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// A broken invariant ends the run the way a crash does, so libFuzzer keeps
// the input that showed it.
inline void require(bool holds, const char *invariant, const std::string &detail = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n  %s\n", invariant, detail.c_str());
    std::abort();
}
