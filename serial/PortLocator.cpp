#include "PortLocator.h"

#include "FileKind.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <optional>

namespace {

// The serial ports the system lists, read on the first question only.
class ListedPorts {
public:
    bool contains(const QString &device)
    {
        if (!m_locations) {
            m_locations.emplace();
            for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
                m_locations->append(port.systemLocation());
        }
        return m_locations->contains(device);
    }

private:
    std::optional<QStringList> m_locations;
};

// Whether a serial device is at `target.opens`; when something else is
// there, what it is.
void judgePresence(ComPortTarget &target, ListedPorts &listed)
{
    const QFileInfo node(target.opens);
    if (!node.exists())
        return;
    if (!isSerialDevice(target.opens)) {
        target.notSerial = fileKind(target.opens);
        return;
    }
    static const QRegularExpression builtInUart(QStringLiteral("^/dev/ttyS[0-9]+$"));
    const QString resolved = node.canonicalFilePath();
    target.present = !builtInUart.match(resolved).hasMatch() || listed.contains(resolved);
}

// What opening `path` opens: the path with every link resolved, or the
// missing target of a dangling link (so that opening fails with its name).
QString resolvedDevice(const QFileInfo &path)
{
    if (path.exists())
        return path.canonicalFilePath();
    return path.isSymLink() ? path.symLinkTarget() : QDir::cleanPath(path.filePath());
}

// Where COMn leads, without asking whether the device is there.
ComPortTarget locate(int commPort, const QString &programFolder)
{
    ComPortTarget target;
    target.entry = comPortEntry(commPort, programFolder);
#ifdef Q_OS_WIN
    target.opens = QStringLiteral("COM%1").arg(commPort);
#else
    const QFileInfo entry(target.entry);
    // A folder without a usable name has no entries; it is never the working
    // directory.
    if (!QDir::isAbsolutePath(programFolder) || (!entry.exists() && !entry.isSymLink())) {
        target.opens = QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
        return target;
    }
    target.source = entry.isSymLink() ? ComPortTarget::Source::Link : ComPortTarget::Source::Entry;
    if (entry.isSymLink())
        target.linkTarget = entry.symLinkTarget();
    target.opens = resolvedDevice(entry);
#endif
    return target;
}

ComPortTarget locateWithPresence(int commPort, const QString &programFolder, ListedPorts &listed)
{
    ComPortTarget target = locate(commPort, programFolder);
#ifdef Q_OS_WIN
    target.present = !QSerialPortInfo(target.opens).isNull();
    Q_UNUSED(listed);
#else
    judgePresence(target, listed);
#endif
    return target;
}

} // namespace

QString comPortEntry(int commPort, const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("COM%1").arg(commPort));
}

QList<ComPortTarget> locateComPorts(int last, const QString &programFolder)
{
    ListedPorts listed;
    QList<ComPortTarget> targets;
    for (int port = 1; port <= last; ++port)
        targets.append(locateWithPresence(port, programFolder, listed));
    return targets;
}

QString systemPortName(int commPort, const QString &programFolder)
{
    // Opening a port must not wait for the system's list of serial ports.
    return locate(commPort, programFolder).opens;
}

std::optional<NamedPort> resolveNamedPort(const QString &name, const QString &folder)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    if (const QRegularExpressionMatch com = comName.match(name); com.hasMatch()) {
        const int number = com.captured(1).toInt();
        if (number > MaxCommPort)
            return std::nullopt;
        const ComPortTarget target = locate(number, folder);
#ifdef Q_OS_WIN
        return NamedPort{number, target.opens};
#else
        // Only a link in the folder: a script that names a port nobody linked
        // must not reach whatever hangs on the PC's own /dev/ttyS<n-1>.
        return NamedPort{number,
                         target.source == ComPortTarget::Source::Link ? target.opens : QString()};
#endif
    }
    if (!QDir::isAbsolutePath(name))
        return std::nullopt;
    // An absent device is still named, so that opening it fails with its name.
    return NamedPort{0, resolvedDevice(QFileInfo(name))};
}
