#pragma once

#include "SerialDevice.h"

#include <QStringList>

class QTextStream;

// What veltrax-ports needs from its surroundings, given in so that the tests
// run it on made-up devices and folders.
struct PortsEnvironment {
    QString home;
    QString currentFolder;
    SerialDeviceList devices;
};

// veltrax-ports with its arguments (the program name not included): lists the
// serial devices and the COMn links, or makes one link. Returns the exit
// status: 0 done, 1 refused or failed, 2 a usage error.
int runPortsCommand(const QStringList &arguments, const PortsEnvironment &environment,
                    QTextStream &out, QTextStream &err);
