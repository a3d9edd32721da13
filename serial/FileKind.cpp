#include "FileKind.h"

#include <QFile>
#include <QList>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

struct DriverRange {
    unsigned major = 0, firstMinor = 0, lastMinor = 0;
};

// The serial and pseudo-terminal slave lines of /proc/tty/drivers, where
// each line is "NAME PREFIX MAJOR MINORS TYPE" and MINORS is "N" or "N-M".
// Consoles, /dev/tty and pseudo-terminal masters are not serial lines.
std::optional<QList<DriverRange>> serialDrivers()
{
    QFile table(QStringLiteral("/proc/tty/drivers"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<DriverRange> ranges;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5 || (fields[4] != "serial" && fields[4] != "pty:slave"))
            continue;
        const QList<QByteArray> minors = fields[3].split('-');
        DriverRange range;
        range.major = fields[2].toUInt();
        range.firstMinor = minors.first().toUInt();
        range.lastMinor = minors.last().toUInt();
        ranges << range;
    }
    return ranges;
}

} // namespace

QString fileKind(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("a folder");
    if (S_ISREG(info.st_mode))
        return QStringLiteral("a regular file");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("a socket");
    if (S_ISBLK(info.st_mode))
        return QStringLiteral("a block device");
    return QStringLiteral("a character device");
}

bool isSerialDevice(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const std::optional<QList<DriverRange>> drivers = serialDrivers();
    if (!drivers)
        return true;
    const unsigned major = ::major(info.st_rdev), minor = ::minor(info.st_rdev);
    for (const DriverRange &range : *drivers)
        if (range.major == major && minor >= range.firstMinor && minor <= range.lastMinor)
            return true;
    return false;
}
