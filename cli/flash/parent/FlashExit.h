#pragma once

#include <QString>
#include <QStringList>

// The exit status of veltrax-flash: a higher code is a worse state of the
// instrument, so with several ports the highest code tells the worst.
namespace FlashExit {
constexpr int Success = 0;
constexpr int Refused = 1;      // usage error, answered no, no terminal and no --yes
constexpr int NoFirmware = 2;   // no firmware file or the file refused; nothing sent
constexpr int PortUnusable = 3; // the port could not be opened
constexpr int NoMonitor = 4;    // no answer or no prompt; nothing erased
constexpr int NoReboot = 5;     // the new firmware is in, the reboot failed
constexpr int NoReset = 6;      // the new firmware is in, the reset of defaults failed
constexpr int Stopped = 7;      // "Stopped by user!" (Ctrl-C or the time limit)
constexpr int LinkFailed = 8;   // communications error
constexpr int EraseFailed = 9;  // flash erase failed or timed out
constexpr int ImageFailed = 10; // a line or the verification failed: no good image

// The table as --help and the documentation give it.
QString table();
} // namespace FlashExit

// What one update showed, as far as its exit status depends on it.
struct UpdateTrace {
    QStringList statuses; // every text the status line took, in order
    QStringList messages; // the OK boxes shown
    bool portOpenFailed = false;
    bool ended = false;       // the update ran to its end (it may have failed)
    bool endedByUser = false; // not ended: killed because the person asked so
};

// The exit status of one update. An update that never ended (its process
// crashed, hung or was killed) counts by the furthest stage it reached: what
// the instrument may have been left with.
int exitCodeFor(const UpdateTrace &trace);
