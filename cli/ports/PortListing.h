#pragma once

#include "SerialDevice.h"

// The listing veltrax-ports prints: every serial device with its USB identity
// and stable name, then where each COMn entry of the program folder leads.
QString listPorts(const QList<SerialDevice> &devices, const QString &folder);
