// hexcfg.dat as start-up reads it. Whatever the file holds, reading gives a
// port and a Debug choice, or fails with one of the codes a bad line earns;
// the plainest values always read right; a value read is the number the C
// library reads there, rounded half to even; what shutdown writes reads back.
#include "FuzzCheck.h"
#include "MemoryFileSystem.h"
#include "Preferences.h"
#include "UploaderError.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

const QString Folder = QStringLiteral("/opt/veltrax");

// The value after the four key characters, when the line has one.
std::optional<QByteArray> valueAt(const QList<QByteArray> &lines, int index)
{
    if (lines.size() <= index || lines[index].size() < 4)
        return std::nullopt;
    return lines[index].mid(4);
}

// Blanks, a sign and at most four digits: what a technician types.
std::optional<int> plainNumber(const std::optional<QByteArray> &value)
{
    static const QRegularExpression plain(QStringLiteral("^ *[+-]?[0-9]{1,4} *$"));
    if (!value || !plain.match(QString::fromLatin1(*value)).hasMatch())
        return std::nullopt;
    return std::atoi(value->trimmed().constData());
}

std::optional<double> cNumber(const std::optional<QByteArray> &value)
{
    const std::string text = value ? value->trimmed().toStdString() : std::string();
    char *end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || text.find('\0') != std::string::npos || end != text.c_str() + text.size())
        return std::nullopt;
    return number;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::string shown = content.left(200).toPercentEncoding().toStdString();
    MemoryFileSystem files;
    files.files.insert(preferencesPath(Folder), content);
    std::optional<StoredPreferences> stored;
    try {
        stored = readPreferences(files, Folder);
    } catch (const UploaderError &error) {
        using namespace ErrorCode;
        const int code = error.code();
        require(code == InvalidArgument || code == Overflow || code == TypeMismatch ||
                    code == ReadPastEnd,
                "a failure code no bad line earns", std::to_string(code) + " for " + shown);
    }

    const QList<QByteArray> lines = textLines(content);
    const std::optional<int> plainPort = plainNumber(valueAt(lines, 0));
    const std::optional<int> plainDebug = plainNumber(valueAt(lines, 1));
    if (plainPort && (lines.size() == 1 || plainDebug)) {
        require(stored && stored->comPort == *plainPort, "plain port misread", shown);
        require(stored->debugOff ==
                    (lines.size() == 1 ? std::nullopt : std::optional<bool>(*plainDebug == 0)),
                "plain Debug value misread", shown);
    }
    if (!stored)
        return 0;
    const std::optional<double> port = cNumber(valueAt(lines, 0));
    require(port && std::nearbyint(*port) == stored->comPort, "port not the value rounded", shown);
    require(stored->comPort >= -32768 && stored->comPort <= 32767, "a port beyond 16 bits", shown);
    require(stored->debugOff.has_value() == (lines.size() >= 2),
            "a Debug choice without a second line, or a second line left unread", shown);
    if (stored->debugOff) {
        const std::optional<double> debug = cNumber(valueAt(lines, 1));
        require(debug && *stored->debugOff == (*debug == 0.0), "Debug Off other than for 0", shown);
    }

    // Shutdown writes what the window shows; Debug On when the file had no second line.
    if (stored->comPort < 1 || stored->comPort > 16)
        return 0;
    const bool debugOff = stored->debugOff.value_or(false);
    MemoryFileSystem written;
    writePreferences(written, Folder, stored->comPort, debugOff);
    const StoredPreferences again = readPreferences(written, Folder);
    require(again.comPort == stored->comPort && again.debugOff == debugOff,
            "the choices changed through a write and a read",
            written.files.value(preferencesPath(Folder)).toStdString());
    return 0;
}
