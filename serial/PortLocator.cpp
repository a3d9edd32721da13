#include "PortLocator.h"

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

bool devicePresent(const QString &device, ListedPorts &listed)
{
    const QFileInfo node(device);
    if (!node.exists())
        return false;
    static const QRegularExpression builtInUart(QStringLiteral("^/dev/ttyS[0-9]+$"));
    const QString resolved = node.canonicalFilePath();
    return !builtInUart.match(resolved).hasMatch() || listed.contains(resolved);
}

ComPortTarget locate(int commPort, const QString &programFolder, ListedPorts &listed)
{
    ComPortTarget target;
    target.entry = comPortEntry(commPort, programFolder);
#ifdef Q_OS_WIN
    target.opens = QStringLiteral("COM%1").arg(commPort);
    target.present = !QSerialPortInfo(target.opens).isNull();
    Q_UNUSED(listed);
#else
    const QFileInfo entry(target.entry);
    // A folder without a usable name has no entries; it is never the working
    // directory.
    if (!QDir::isAbsolutePath(programFolder)) {
        target.opens = QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
    } else if (entry.isSymLink()) {
        target.source = ComPortTarget::Source::Link;
        target.linkTarget = entry.symLinkTarget();
        target.opens = entry.exists() ? entry.canonicalFilePath() : target.linkTarget;
    } else if (entry.exists()) {
        target.source = ComPortTarget::Source::Entry;
        target.opens = entry.canonicalFilePath();
    } else {
        target.opens = QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
    }
    target.present = devicePresent(target.opens, listed);
#endif
    return target;
}

} // namespace

QString comPortEntry(int commPort, const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("COM%1").arg(commPort));
}

ComPortTarget locateComPort(int commPort, const QString &programFolder)
{
    ListedPorts listed;
    return locate(commPort, programFolder, listed);
}

QList<ComPortTarget> locateComPorts(int last, const QString &programFolder)
{
    ListedPorts listed;
    QList<ComPortTarget> targets;
    for (int port = 1; port <= last; ++port)
        targets.append(locate(port, programFolder, listed));
    return targets;
}

QString systemPortName(int commPort, const QString &programFolder)
{
    return locateComPort(commPort, programFolder).opens;
}

std::optional<NamedPort> resolveNamedPort(const QString &name, const QString &folder)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    if (const QRegularExpressionMatch com = comName.match(name); com.hasMatch()) {
        const int number = com.captured(1).toInt();
        if (number > MaxCommPort)
            return std::nullopt;
        return NamedPort{number, systemPortName(number, folder)};
    }
    if (!QDir::isAbsolutePath(name))
        return std::nullopt;
    // An absent device is still named, so that opening it fails with its name.
    const QFileInfo device(name);
    if (device.exists())
        return NamedPort{0, device.canonicalFilePath()};
    if (device.isSymLink())
        return NamedPort{0, device.symLinkTarget()};
    return NamedPort{0, QDir::cleanPath(name)};
}
