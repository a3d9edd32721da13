#include "PortLocator.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The device behind an entry: links resolved; a dangling link names its
// missing target; no entry at all: nothing.
std::optional<QString> resolvedEntry(const QFileInfo &entry)
{
    if (entry.exists())
        return entry.canonicalFilePath();
    if (entry.isSymLink())
        return entry.symLinkTarget();
    return std::nullopt;
}

} // namespace

QString systemPortName(int commPort, const QString &programFolder)
{
    const QString name = QStringLiteral("COM%1").arg(commPort);
#ifdef Q_OS_WIN
    Q_UNUSED(programFolder);
    return name;
#else
    if (const std::optional<QString> device =
            resolvedEntry(QFileInfo(QDir(programFolder).filePath(name))))
        return *device;
    return QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
#endif
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
    return NamedPort{0, resolvedEntry(QFileInfo(name)).value_or(QDir::cleanPath(name))};
}
