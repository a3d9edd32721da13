#pragma once

#include "SerialDevice.h"

#include <QHash>

// The system's serial devices from Qt SerialPort's port list, each with its
// stable name from BY_ID_FOLDER (normally /dev/serial/by-id).
QList<SerialDevice> systemSerialDevices(const QString &byIdFolder);

// The stable names in BY_ID_FOLDER by the device each one leads to (its
// canonical path). Entries that lead nowhere are left out.
QHash<QString, QString> stableNames(const QString &byIdFolder);
