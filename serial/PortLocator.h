#pragma once

#include <QString>
#include <optional>

// The system name of port COMn. On Windows that is "COMn" itself. Elsewhere
// an entry named COMn in the program folder (a link to /dev/ttyUSB0, to a
// /dev/serial/by-id/ name or to a pseudo-terminal) names the port, its links
// resolved; a link whose target is missing still names that target, so an
// unplugged adapter fails to open instead of falling back to another port.
// Without such an entry COMn is the n-th built-in UART, /dev/ttyS<n-1>.
QString systemPortName(int commPort, const QString &programFolder);

// A port named by the person at a bench: "COMn" (n from 1 to MaxCommPort),
// resolved as above in `folder`, or an absolute device path, its links
// resolved the same way. Empty for anything else.
struct NamedPort {
    int commPort = 0;   // n of COMn; 0 for a device path
    QString systemName; // what is opened
};
inline constexpr int MaxCommPort = 255;
std::optional<NamedPort> resolveNamedPort(const QString &name, const QString &folder);
