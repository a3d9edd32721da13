// The input, split at LF, is the folder's listing: the file taken is listed, no older
// than any plainly dated name, and beats or ties every other candidate.
#include "FirmwareDiscovery.h"
#include "FuzzCheck.h"
#include "MemoryFileSystem.h"

#include <QRegularExpression>

namespace {

QString search(const QStringList &names)
{
    MemoryFileSystem files;
    files.listing = names;
    const FirmwareSearch found = searchFirmware(files, QStringLiteral("/opt/veltrax"));
    require(found.FirmwareFound != found.FirmwareFileName.isEmpty(), "found, but no name");
    return found.FirmwareFileName;
}

// veltrax_MMDDYYYY.hex in digits only, as YYMMDD (the century is not looked at); empty if not.
QString plainDate(const QString &name)
{
    static const QRegularExpression plain(
        QStringLiteral("^veltrax_([0-9]{4})[0-9]{2}([0-9]{2})\\.hex$"));
    const QRegularExpressionMatch match = plain.match(name);
    return match.hasMatch() ? match.captured(2) + match.captured(1) : QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList names =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
            .split('\n')
            .mid(0, 12);
    const QString taken = search(names);
    require(taken.isEmpty() || (names.contains(taken) && taken.startsWith("veltrax_")),
            "the name taken is not a listed firmware file");
    for (const QString &name : names) {
        require(plainDate(name) <= plainDate(taken) ||
                    (!taken.isEmpty() && plainDate(taken).isEmpty()),
                "a plainly newer date passed over");
        // Listed after the file taken, a candidate wins only if it is newer.
        require(search({name}).isEmpty() || search({taken, name}) == taken,
                "a candidate newer than the file taken");
    }
    return 0;
}
