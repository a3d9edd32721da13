#include "CheckedFirmware.h"

#include "FirmwareDiscovery.h"
#include "FirmwareFile.h"
#include "OneFileSystem.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Larger than any instrument's flash holds as Intel HEX.
constexpr qint64 MaxFirmwareBytes = qint64{64} << 20;

// The update's own check, on exactly these bytes.
bool sendable(const QString &path, const QByteArray &bytes)
{
    OneFileSystem files(path, bytes);
    return isSendableFirmware(files, path);
}

} // namespace

FirmwareChoice chooseFirmware(const QString &file, const QString &folder)
{
    FirmwareChoice choice;
    QString path = file;
    if (path.isEmpty()) {
        QtFileSystem disk;
        FirmwareSearch found;
        try {
            found = searchFirmware(disk, folder);
        } catch (const UploaderError &error) {
            choice.problem = QStringLiteral("cannot list %1: %2").arg(folder, error.description());
            return choice;
        }
        if (!found.FirmwareFound) {
            choice.problem =
                QStringLiteral("No Firmware Found: no veltrax_MMDDYYYY.hex in %1").arg(folder);
            return choice;
        }
        // As the window names it: the folder, a slash, the name as listed.
        path = folder + QLatin1Char('/') + found.FirmwareFileName;
    }

    QFile input(path);
    if (!input.open(QIODevice::ReadOnly)) {
        choice.problem = QStringLiteral("Invalid File: %1: %2").arg(path, input.errorString());
        return choice;
    }
    const QByteArray bytes = input.read(MaxFirmwareBytes + 1);
    if (input.error() != QFileDevice::NoError || bytes.size() > MaxFirmwareBytes ||
        !input.atEnd()) {
        choice.problem = QStringLiteral("Invalid File: %1: unreadable or larger than %2 bytes")
                             .arg(path)
                             .arg(MaxFirmwareBytes);
        return choice;
    }
    if (!sendable(path, bytes)) {
        choice.problem = QStringLiteral("Invalid File: %1 is not a firmware file that can be "
                                        "sent whole")
                             .arg(path);
        return choice;
    }
    choice.firmware = CheckedFirmware{
        QFileInfo(path).fileName(), path, bytes,
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())};
    return choice;
}
