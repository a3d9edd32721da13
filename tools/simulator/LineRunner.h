#pragma once

#include "LineEndpoint.h"
#include "MonitorMachine.h"
#include "TrafficLog.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

struct RunnerSettings {
    // Bytes take their wire time to arrive and to leave, as on a real line.
    bool pacing = true;
    std::optional<std::chrono::milliseconds> timeout;
    bool exitAfterUpdate = false;
};

// Runs the monitor on the line in real time: reads what the program sends,
// hands it to the monitor at the time it would have finished arriving, and
// writes the monitor's answers at the pace the line allows.
class LineRunner {
public:
    enum class End { UpdateDone, TimedOut, Stopped, HungUp, LineFailed };

    LineRunner(LineEndpoint &line, MonitorMachine &machine, TrafficLog &log,
               RunnerSettings settings);

    End run();
    // Why the line failed, after End::LineFailed.
    const std::string &failure() const { return m_failure; }

    // Time on the simulator's clock.
    SimTime elapsed() const;

    // Safe to call from a signal handler: run() ends at its next pass.
    static void requestStop();

private:
    struct Timed {
        SimTime at;
        std::uint8_t byte;
    };

    bool readAvailable();
    bool writeDue(SimTime now);
    void collect();
    bool updateSettled(SimTime now);
    SimTime nextWake(SimTime now) const;
    SimTime sendTime(const Timed &next) const;

    LineEndpoint &m_line;
    MonitorMachine &m_machine;
    TrafficLog &m_log;
    RunnerSettings m_settings;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::deque<Timed> m_inbound;  // received, not yet handed to the monitor
    std::deque<Timed> m_outbound; // due to be sent, in order of due time
    SimTime m_lastReceived{0};
    SimTime m_lastSent{0};
    bool m_writeBlocked = false;
    std::optional<SimTime> m_completeAt;
    std::optional<SimTime> m_drainedAt;
    std::string m_failure;
};
