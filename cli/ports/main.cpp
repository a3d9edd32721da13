// veltrax-ports: which serial device is which, and the COMn links of a
// program folder that make the uploader's ports lead to them.
#include "PortsCommand.h"
#include "SystemSerialDevices.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const PortsEnvironment environment{
        QDir::homePath(),
        QDir::currentPath(),
        [] { return systemSerialDevices(QStringLiteral("/dev/serial/by-id")); },
    };
    return runPortsCommand(app.arguments().mid(1), environment, out, err);
}
