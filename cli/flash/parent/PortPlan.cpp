#include "PortPlan.h"

#include "PortLocator.h"

#include <QMap>
#include <sys/stat.h>

namespace {

// What makes two names one device: the device number of a device file, the
// file itself for anything else that exists, the resolved name otherwise.
QString deviceIdentity(const QString &device)
{
    struct stat info {};
    if (::stat(device.toLocal8Bit().constData(), &info) != 0)
        return QStringLiteral("name:") + device;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("dev:%1:%2").arg(S_ISCHR(info.st_mode)).arg(info.st_rdev);
    return QStringLiteral("file:%1:%2").arg(info.st_dev).arg(info.st_ino);
}

} // namespace

PortPlanResult planPorts(const QStringList &names, const QString &folder)
{
    PortPlanResult result;
    QStringList unlinked;
    QMap<QString, QString> seen; // identity -> the name that took it
    for (const QString &name : names) {
        const std::optional<NamedPort> named = resolveNamedPort(name, folder);
        if (!named) {
            result.error = QStringLiteral("--port %1: not COM1 to COM%2 or an absolute device path")
                               .arg(name)
                               .arg(MaxCommPort);
            return result;
        }
        result.ports << PlannedPort{name, named->commPort, named->systemName};
        if (named->systemName.isEmpty()) {
            unlinked << name;
            continue;
        }
        const QString identity = deviceIdentity(named->systemName);
        if (seen.contains(identity)) {
            result.error = QStringLiteral("--port %1 and --port %2 name the same device (%3)")
                               .arg(seen.value(identity), name, named->systemName);
            result.ports.clear();
            return result;
        }
        seen.insert(identity, name);
    }
    if (!unlinked.isEmpty()) {
        result.unlinked = true;
        result.error = QStringLiteral("no %1 link in %2; make one with veltrax-ports link, or "
                                      "give a built-in port by its device path (/dev/ttyS0 "
                                      "for the PC's first)")
                           .arg(unlinked.join(QStringLiteral(" or ")), folder);
    }
    return result;
}
