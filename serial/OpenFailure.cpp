#include "OpenFailure.h"

#include "FileKind.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// The UUCP lock directories, in the order the serial port looks for one.
const char *const LockFolders[] = {"/var/lock",       "/etc/locks", "/var/spool/locks",
                                   "/var/spool/uucp", "/tmp",       "/run/lock"};

// "PROGRAM (process PID), as LOCK-FILE says" for a lock held by a live
// process; empty when no lock file names one. A lock file holds the process
// number on its first line, and Qt's its program name on the second.
QString lockHolder(const QString &device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : LockFolders) {
        QFile lock(QStringLiteral("%1/LCK..%2").arg(QLatin1String(folder), name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = lock.read(4096).split('\n');
        const qint64 pid = lines.value(0).trimmed().toLongLong();
        if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
            continue; // stale: the next open takes it over
        QString program = QString::fromUtf8(lines.value(1).trimmed());
        if (program.isEmpty()) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            if (comm.open(QIODevice::ReadOnly))
                program = QString::fromUtf8(comm.readAll().trimmed());
        }
        return QStringLiteral("%1 (process %2), as its lock file %3 says")
            .arg(program.isEmpty() ? QStringLiteral("a program") : program)
            .arg(pid)
            .arg(lock.fileName());
    }
    return {};
}

} // namespace

QString explainOpenFailure(const QString &device, QSerialPort::SerialPortError error,
                           const QString &systemText)
{
    if (!QFileInfo::exists(device))
        return QStringLiteral("no such device (an adapter unplugged, or another one than was "
                              "linked)");
    // A link made to the wrong thing (/dev/null, a file): say what it is, as
    // veltrax-ports and the Com Port tooltips do, rather than the ioctl's text.
    if (!isSerialDevice(device))
        return QStringLiteral("not a serial device: %1 is %2 (%3)")
            .arg(device, fileKind(device), systemText);
    if (error != QSerialPort::PermissionError && error != QSerialPort::OpenError)
        return systemText;
    if (const QString holder = lockHolder(device); !holder.isEmpty())
        return QStringLiteral("in use by ") + holder;
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
        return QStringLiteral("permission denied (%1): the package's udev rule "
                              "(/usr/lib/udev/rules.d/70-veltrax-uploader.rules) lets the "
                              "person at the desk open USB serial adapters; without a seat "
                              "(over ssh) or without the package, join the dialout group "
                              "(sudo usermod -aG dialout $USER) and log in again")
            .arg(systemText);
    return QStringLiteral("in use: another program holds it (%1); fuser -v %2 names it")
        .arg(systemText, device);
}
