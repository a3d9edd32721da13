#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One instrument's port: the name as given and the device it resolved to.
struct PlannedPort {
    QString name;     // exactly as given on the command line
    int commPort = 0; // n of COMn; 0 for a device path
    QString device;   // the device that is opened
};

struct PortPlanResult {
    QList<PlannedPort> ports;
    QString error; // empty when every port is usable
    // The error is a COMn without its link: a port that cannot be opened,
    // not a usage error. `ports` then holds every port, those without a device.
    bool unlinked = false;
};

// Resolves each name: COMn is the COMn link in `folder` and only that (the
// window's fallback to /dev/ttyS<n-1> is no guess for a script to make);
// device paths have their links followed. Two names that come to one device
// are a usage error: two updates on one line would garble each other.
PortPlanResult planPorts(const QStringList &names, const QString &folder);
