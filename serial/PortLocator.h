#pragma once

#include <QString>

// The system name of port COMn. On Windows that is "COMn" itself. Elsewhere
// an entry named COMn in the program folder (a link to /dev/ttyUSB0, to a
// /dev/serial/by-id/ name or to a pseudo-terminal) names the port, its links
// resolved; a link whose target is missing still names that target, so an
// unplugged adapter fails to open instead of falling back to another port.
// Without such an entry COMn is the n-th built-in UART, /dev/ttyS<n-1>, and
// so it is for an empty or relative folder (one whose name the program could
// not read): no entry is looked up then.
QString systemPortName(int commPort, const QString &programFolder);
