#pragma once

#include "SerialDevice.h"

// The device that WHICH names: its path (/dev/ttyUSB0 or ttyUSB0), its stable
// name (whole or the part after /dev/serial/by-id/), another path that leads
// to it (a /dev/serial/by-path name), or its USB serial number. Throws
// UploaderError when no device or more than one fits, naming the candidates.
SerialDevice chooseDevice(const QList<SerialDevice> &devices, const QString &which);
