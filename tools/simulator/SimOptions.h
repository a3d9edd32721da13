#pragma once

#include "LineRunner.h"
#include "MonitorSettings.h"

#include <string>
#include <vector>

struct SimOptions {
    std::string linkPath; // pseudo-terminal linked here, or
    std::string portPath; // a real serial port
    std::string logPath;
    std::string imagePath;
    RunnerSettings runner;
    MonitorSettings monitor;
    bool help = false;
    bool version = false;
};

struct SimOptionsResult {
    SimOptions options;
    std::string error; // empty when the options are usable
};

// Exit statuses, from the update the simulator saw.
namespace simexit {
constexpr int Complete = 0;
constexpr int LineFailed = 1;
constexpr int Usage = 2;
constexpr int NoUpdate = 3;
constexpr int TransferUnfinished = 4;
constexpr int CodeBad = 5;
constexpr int NoReset = 6;
constexpr int NoFinalReboot = 7;
constexpr int ImageTooLarge = 8;
} // namespace simexit

SimOptionsResult parseSimOptions(const std::vector<std::string> &args);
std::string simUsage();
