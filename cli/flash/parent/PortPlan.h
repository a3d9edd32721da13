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
    QString error; // a usage error: empty when every port is usable
};

// Resolves each name as the window resolves its ports (COMn links in
// `folder`, else the built-in UART; device paths with their links
// followed). Two names that come to one device are a usage error: two
// updates on one line would garble each other.
PortPlanResult planPorts(const QStringList &names, const QString &folder);
