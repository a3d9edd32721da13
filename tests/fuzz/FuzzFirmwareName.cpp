// Firmware file names as the search judges them. The input, split at LF, is
// the folder's listing. The file taken follows the naming rule, is one of the
// listed names, beats or ties every other candidate, and does not depend on
// the listing's order except between ties.
#include "FirmwareDiscovery.h"
#include "FuzzCheck.h"
#include "MemoryFileSystem.h"

#include <QRegularExpression>
#include <optional>
#include <tuple>

namespace {

QString search(const QStringList &names)
{
    MemoryFileSystem files;
    files.listing = names;
    const FirmwareSearch found = searchFirmware(files, QStringLiteral("/opt/veltrax"));
    require(found.FirmwareFound == !found.FirmwareFileName.isEmpty(),
            "FirmwareFound and FirmwareFileName disagree");
    return found.FirmwareFileName;
}

// veltrax_MMDDYYYY.hex with digits only: its key (year of the century, month,
// day) can be told without the search.
std::optional<std::tuple<int, QString, QString>> plainDate(const QString &name)
{
    static const QRegularExpression plain(
        QStringLiteral("^veltrax_([0-9]{2})([0-9]{2})[0-9]{2}([0-9]{2})\\.hex$"));
    const QRegularExpressionMatch match = plain.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    return std::make_tuple(match.captured(3).toInt(), match.captured(1), match.captured(2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QStringList names;
    for (const QByteArray &name :
         QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
             .split('\n')
             .mid(0, 12))
        names << QString::fromUtf8(name);
    const std::string shown = names.join('|').toStdString();
    const QString taken = search(names);
    if (taken.isEmpty()) {
        for (const QString &name : names)
            require(!plainDate(name), "a plainly dated firmware file passed over", shown);
        return 0;
    }
    require(names.contains(taken), "the name taken is not in the listing", shown);
    require(taken.startsWith(QStringLiteral("veltrax_")) && taken.section('.', 1, 1) == "hex",
            "taken against the naming rule", shown);
    for (const QString &name : names) {
        if (search({name}).isEmpty())
            continue;
        // Listed after the file taken, a candidate wins only if it is newer.
        require(search({taken, name}) == taken, "a candidate newer than the file taken", shown);
        if (plainDate(taken) && plainDate(name))
            require(*plainDate(name) <= *plainDate(taken), "a plainly newer date passed over",
                    shown);
    }
    // In another order the search may take another file only when the two
    // tie: each of them, listed first, wins against the other.
    QStringList rotated = names;
    rotated.move(0, rotated.size() - 1);
    for (const QStringList &other : {QStringList(names.crbegin(), names.crend()), rotated}) {
        const QString again = search(other);
        require(again == taken ||
                    (search({taken, again}) == taken && search({again, taken}) == again),
                "order decides between two files that do not tie", other.join('|').toStdString());
    }
    return 0;
}
