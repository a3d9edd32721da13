// Firmware file names as the search judges them. The input, split at LF, is
// the folder's listing. The file taken follows the naming rule, is one of the
// listed names, beats or ties every other candidate, and does not depend on
// the listing's order except between ties.
#include "FirmwareDiscovery.h"
#include "MemoryFiles.h"
#include "QtFuzzCheck.h"

#include <QRegularExpression>
#include <cstdint>
#include <optional>
#include <tuple>

namespace {

const QString Folder = QStringLiteral("/opt/veltrax");
constexpr qsizetype MaxNames = 12;

FirmwareSearch search(const QStringList &names)
{
    MemoryFiles files;
    files.listing = names;
    try {
        return searchFirmware(files, Folder);
    } catch (...) {
        require(false, "the search failed on a folder that lists fine", names.join('|').toUtf8());
    }
    return {};
}

// veltrax_MMDDYYYY.hex with digits only: the key (year of the century,
// month, day) is then plain, so the newest can be told without the search.
std::optional<std::tuple<int, QString, QString>> plainDate(const QString &name)
{
    static const QRegularExpression plain(
        QStringLiteral("^veltrax_([0-9]{2})([0-9]{2})[0-9]{2}([0-9]{2})\\.hex$"));
    const QRegularExpressionMatch match = plain.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    return std::make_tuple(match.captured(3).toInt(), match.captured(1), match.captured(2));
}

void checkTaken(const QStringList &names, const FirmwareSearch &found)
{
    const QByteArray shown = names.join('|').toUtf8().toPercentEncoding("|");
    require(found.FirmwareFound == !found.FirmwareFileName.isEmpty(),
            "FirmwareFound and FirmwareFileName disagree", shown);
    if (!found.FirmwareFound) {
        for (const QString &name : names)
            require(!plainDate(name), "a plainly dated firmware file passed over", shown);
        return;
    }
    const QString &taken = found.FirmwareFileName;
    require(names.contains(taken), "the name taken is not in the listing", shown);
    require(taken.startsWith(QStringLiteral("veltrax_")), "taken without the prefix", shown);
    const QStringList pieces = taken.split(QLatin1Char('.'));
    require(pieces.size() >= 2 && pieces.at(1) == QStringLiteral("hex"),
            "taken with a second piece other than hex", shown);

    const auto takenDate = plainDate(taken);
    for (const QString &name : names) {
        const FirmwareSearch alone = search({name});
        if (!alone.FirmwareFound)
            continue;
        // Listed after the file taken, a candidate wins only if it is newer.
        require(search({taken, name}).FirmwareFileName == taken,
                "a candidate newer than the file taken", shown);
        const auto date = plainDate(name);
        if (takenDate && date)
            require(*date <= *takenDate, "a plainly newer date passed over", shown);
    }
}

// In another order the search may take another file only when the two tie:
// each of them, listed first, wins against the other.
void checkOrder(const QStringList &names, const FirmwareSearch &found)
{
    QStringList reversed(names.crbegin(), names.crend());
    QStringList rotated = names;
    if (!rotated.isEmpty())
        rotated.move(0, rotated.size() - 1);
    for (const QStringList &other : {reversed, rotated}) {
        const FirmwareSearch again = search(other);
        const QByteArray shown = other.join('|').toUtf8().toPercentEncoding("|");
        require(again.FirmwareFound == found.FirmwareFound, "order decides whether one is found",
                shown);
        if (again.FirmwareFileName == found.FirmwareFileName)
            continue;
        require(search({found.FirmwareFileName, again.FirmwareFileName}).FirmwareFileName ==
                        found.FirmwareFileName &&
                    search({again.FirmwareFileName, found.FirmwareFileName}).FirmwareFileName ==
                        again.FirmwareFileName,
                "order decides between two files that do not tie", shown);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QStringList names;
    for (const QByteArray &name : input.split('\n')) {
        if (names.size() == MaxNames)
            break;
        names << QString::fromUtf8(name);
    }
    const FirmwareSearch found = search(names);
    checkTaken(names, found);
    checkOrder(names, found);
    return 0;
}
