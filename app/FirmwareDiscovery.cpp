#include "FirmwareDiscovery.h"

#include "FileSystem.h"
#include "ProgramFolder.h"
#include "UploaderError.h"

#include <QStringList>
#include <optional>

namespace {

// The date a firmware name carries, as far as it counts: only the last two
// digits of the year, and month and day as they are written.
struct FirmwareDate {
    qint16 year = 0;
    QString month;
    QString day;
};

// Month and day compare as text by character code, so "" < "01" < "1" < "10".
bool isLater(const FirmwareDate &candidate, const FirmwareDate &best)
{
    if (candidate.year != best.year) {
        return candidate.year > best.year;
    }
    if (candidate.month != best.month) {
        return candidate.month > best.month;
    }
    return candidate.day > best.day;
}

// The two year characters read as a plain whole number: blanks around the
// digits and a leading sign are allowed, so "1 " is year 1 and "-1" is year -1
// (which never beats the starting year 0). Anything else, a missing year
// included, is no number.
std::optional<qint16> yearNumber(const QString &text)
{
    bool ok = false;
    const short year = text.trimmed().toShort(&ok, 10);
    return ok ? std::optional<qint16>(year) : std::nullopt;
}

} // namespace

FirmwareSearch searchFirmware(FileSystem &files, const QString &programFolder)
{
    // Never the working directory or the root in its place.
    requireUsableFolder(programFolder);
    FirmwareSearch result;
    FirmwareDate best;
    for (const QString &name : files.FolderFiles(programFolder)) {
        const QStringList pieces = name.split(QLatin1Char('.'));
        if (pieces.size() < 2 || pieces.at(1) != QLatin1String("hex")) {
            continue;
        }
        const QString &stem = pieces.at(0);
        if (!stem.startsWith(QLatin1String("veltrax_"), Qt::CaseSensitive)) {
            continue;
        }
        const QString date = stem.mid(8, 8);
        const std::optional<qint16> year = yearNumber(date.mid(6, 2));
        if (!year) {
            // A name with no readable year cannot be dated: it is no firmware
            // candidate, and the search goes on with the other files.
            continue;
        }
        const FirmwareDate candidate{*year, date.left(2), date.mid(2, 2)};
        if (isLater(candidate, best)) {
            best = candidate;
            result.FirmwareFileName = name;
            result.FirmwareFound = true;
        }
    }
    return result;
}
