#include "PortLocator.h"

#include <QDir>
#include <QFileInfo>

QString systemPortName(int commPort, const QString &programFolder)
{
    const QString name = QStringLiteral("COM%1").arg(commPort);
#ifdef Q_OS_WIN
    Q_UNUSED(programFolder);
    return name;
#else
    // A folder without a usable name has no entries; it is never the working
    // directory.
    if (!QDir::isAbsolutePath(programFolder))
        return QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
    const QFileInfo entry(QDir(programFolder).filePath(name));
    if (entry.exists())
        return entry.canonicalFilePath();
    if (entry.isSymLink())
        return entry.symLinkTarget();
    return QStringLiteral("/dev/ttyS%1").arg(commPort - 1);
#endif
}
