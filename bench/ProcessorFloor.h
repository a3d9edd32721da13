#pragma once

#include <string>

// The least processor time a line can cost a process on this machine: the
// program's end writes a line's bytes to a pseudo-terminal and waits for one
// byte back from an instrument's end that answers after the line's wire time,
// as the monitor does. Nothing else happens, so whatever the update process
// spends above these figures is its own work; the figures themselves are the
// kernel's and the machine's (waking a sleeping process, the terminal's
// buffer hand-off), which no program can spend less of.
struct LineCost {
    double microsecondsPerLine = 0; // processor time of the program's end, user and system
    std::string problem;            // empty when measured
};

// Blocking write and read, no event loop.
LineCost bareLoopLineCost(int lines);

// The least a wait on Qt's event loop does: one pass of the loop between
// lines, a socket notifier that watches the line only while a wait needs it,
// and a precise timer for each wait's time-out. Needs a QCoreApplication.
LineCost eventLoopLineCost(int lines);
