#pragma once

#include "MonitorSettings.h"

#include <cstdint>
#include <fstream>
#include <string>

// Every byte on the line with the time it was seen, and what the monitor made
// of it, one entry a line:
//     12.345678 RX 1B
//     12.345702 TX 06
//     12.345702 -- ESC 1 acknowledged
// Does nothing when no file was given.
class TrafficLog {
public:
    // Throws std::runtime_error when the file cannot be created.
    explicit TrafficLog(const std::string &path);

    void received(SimTime at, std::uint8_t byte);
    void sent(SimTime at, std::uint8_t byte);
    void note(SimTime at, const std::string &text);
    // Called before the simulator sleeps, so a killed simulator leaves a
    // log that is whole up to its last wait.
    void flush();

private:
    void entry(SimTime at, const char *kind, const std::string &text);

    std::ofstream m_file;
};
