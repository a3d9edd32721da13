#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <optional>

// What the parent tells an update child on its command line. The firmware's
// bytes come on the child's standard input; its events go out on standard
// output (ChildEvent).
struct ChildSettings {
    QString port;         // as given to the parent
    int commPort = 0;     // n of COMn, 0 for a device path
    QString device;       // what is opened
    QString firmwarePath; // the name the update gives the file
    QString sha256;       // of the bytes the parent checked
    std::chrono::seconds timeout{600};
    QString transcriptPath; // empty without --log
};

inline constexpr char ChildModeOption[] = "--update-child";
// What the kernel sends the child when its parent dies (PR_SET_PDEATHSIG).
inline constexpr int ParentGoneSignal = SIGUSR1;
// The child's status when it could not run the update at all.
inline constexpr int ChildCannotRun = 70;

QStringList childArguments(const ChildSettings &settings);
// Empty when the arguments (after ChildModeOption) are not the parent's.
std::optional<ChildSettings> parseChildArguments(const QStringList &arguments);

// Runs one update in this process, on the running QCoreApplication: the
// question already answered Yes, the port opened, the dialogue to its end.
// Returns 0 once the update has ended, whatever its outcome; another value
// when it could not be run.
int runUpdateChild(const ChildSettings &settings);
