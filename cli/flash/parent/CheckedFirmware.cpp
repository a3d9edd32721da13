#include "CheckedFirmware.h"

#include "FileKind.h"
#include "FirmwareDiscovery.h"
#include "FirmwareImage.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {

// Why the named file cannot be a firmware file before it is read, in words a
// technician can act on; empty when it is a regular file.
QString unusableFirmwareName(const QString &path)
{
    if (QFileInfo(path).isFile())
        return {};
    const QString kind = fileKind(path);
    if (!kind.isEmpty())
        return QStringLiteral("not a regular file but %1").arg(kind);
    // The command line is read as UTF-8: a name in another encoding arrives
    // with its bytes replaced and can only be missed.
    if (path.contains(QChar::ReplacementCharacter))
        return QStringLiteral("no such file: the name given is not valid UTF-8");
    return QStringLiteral("no such file");
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

    if (const QString problem = unusableFirmwareName(path); !problem.isEmpty()) {
        choice.problem = QStringLiteral("Invalid File: %1: %2").arg(path, problem);
        return choice;
    }

    // The update's own reading and check, once, for every instrument.
    QtFileSystem disk;
    QString refusal;
    const std::optional<FirmwareImage> image = FirmwareImage::load(disk, path, refusal);
    if (!image) {
        choice.problem = QStringLiteral("Invalid File: %1: %2").arg(path, refusal);
        return choice;
    }
    const QByteArray &bytes = image->bytes();
    choice.firmware = CheckedFirmware{
        QFileInfo(path).fileName(), path, bytes,
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())};
    return choice;
}
