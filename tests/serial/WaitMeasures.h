#pragma once

#include <chrono>
#include <ctime>

// Wall time and this thread's processor time of a piece of work, in
// milliseconds: a wait must take its time without burning it.
struct WaitMeasure {
    double wallMs = 0;
    double cpuMs = 0;
};

inline double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

template <typename Work> WaitMeasure measure(Work &&work)
{
    using Clock = std::chrono::steady_clock;
    const double cpuStart = threadCpuMs();
    const Clock::time_point start = Clock::now();
    work();
    WaitMeasure result;
    result.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    result.cpuMs = threadCpuMs() - cpuStart;
    return result;
}
