#pragma once

#include <chrono>
#include <ctime>

// Wall time and this thread's processor time of a piece of work, in
// milliseconds: a wait must take its time without burning it.
struct WaitMeasure {
    double wallMs = 0;
    double cpuMs = 0;
};

template <typename Work> WaitMeasure measure(Work &&work)
{
    const auto cpuMs = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    };
    const double cpuStart = cpuMs();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
        cpuMs() - cpuStart};
}
