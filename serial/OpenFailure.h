#pragma once

#include <QSerialPort>
#include <QString>

// Why `device` could not be opened, in words that lead to the fix: nothing
// there (an adapter unplugged), not a serial device (what it is instead), no
// permission (the udev rule or the dialout
// group), or in use (by the program and process its lock file names, where
// one does). `error` and `systemText` are what the serial port reported.
QString explainOpenFailure(const QString &device, QSerialPort::SerialPortError error,
                           const QString &systemText);
