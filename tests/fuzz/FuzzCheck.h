#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken invariant ends the run the way a crash does, so libFuzzer keeps
// the input that showed it.
inline void require(bool holds, const char *invariant, std::string_view detail = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    if (!detail.empty())
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
    std::abort();
}
