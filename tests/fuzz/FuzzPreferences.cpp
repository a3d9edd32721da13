// hexcfg.dat as start-up reads it. Whatever the file holds, reading gives a
// port and a Debug choice or fails with a code of the table; what shutdown
// writes for a choice it read reads back the same.
#include "MemoryFiles.h"
#include "Preferences.h"
#include "QtFuzzCheck.h"
#include "UploaderError.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace {

const QString Folder = QStringLiteral("/opt/veltrax");

bool inErrorTable(int code)
{
    using namespace ErrorCode;
    for (const int known :
         {InvalidArgument, Overflow, TypeMismatch, FileNotFound, DeviceIoError, ReadPastEnd,
          PermissionDenied, FileAccessError, PathNotFound, InvalidPropertyValue, NoSuchPort}) {
        if (code == known)
            return true;
    }
    return false;
}

// The value after the four key characters, or nothing when the line is shorter.
std::optional<QByteArray> valueOf(const QByteArray &line)
{
    if (line.size() < 4)
        return std::nullopt;
    return line.mid(4);
}

// The plainest values a technician types ("3", " 12 ", "-1"): blanks, a
// sign, at most four digits. These must always be read.
std::optional<int> plainNumber(const std::optional<QByteArray> &value)
{
    if (!value)
        return std::nullopt;
    QByteArray text = *value;
    while (text.startsWith(' '))
        text.remove(0, 1);
    while (text.endsWith(' '))
        text.chop(1);
    const qsizetype digitsFrom = (text.startsWith('-') || text.startsWith('+')) ? 1 : 0;
    const qsizetype digits = text.size() - digitsFrom;
    if (digits < 1 || digits > 4)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    }
    return std::atoi(text.constData());
}

// Any value that was read must be a number by the C library's reading too.
std::optional<double> cNumber(const std::optional<QByteArray> &value)
{
    if (!value)
        return std::nullopt;
    const std::string text = value->trimmed().toStdString();
    if (text.empty() || text.find('\0') != std::string::npos)
        return std::nullopt;
    char *end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return std::nullopt;
    return number;
}

std::optional<StoredPreferences> readOrFailure(MemoryFiles &files, const QByteArray &content)
{
    try {
        return readPreferences(files, Folder);
    } catch (const UploaderError &error) {
        require(inErrorTable(error.code()), "a failure code outside the ErrorCode table",
                QByteArray::number(error.code()) + " for " + content.left(200).toPercentEncoding());
        require(!error.description().isEmpty(), "a failure without a description");
        return std::nullopt;
    }
}

void checkAgainstLines(const QList<QByteArray> &lines,
                       const std::optional<StoredPreferences> &stored, const QByteArray &content)
{
    const QByteArray shown = content.left(200).toPercentEncoding();
    const std::optional<QByteArray> portValue =
        lines.isEmpty() ? std::nullopt : valueOf(lines.at(0));
    const std::optional<QByteArray> debugValue =
        lines.size() < 2 ? std::nullopt : valueOf(lines.at(1));
    const std::optional<int> plainPort = plainNumber(portValue);
    const std::optional<int> plainDebug = plainNumber(debugValue);
    if (plainPort && (lines.size() == 1 || plainDebug)) {
        require(stored.has_value(), "plain values refused", shown);
        require(stored->comPort == *plainPort, "plain port misread", shown);
        if (lines.size() == 1)
            require(!stored->debugOff.has_value(), "a Debug choice out of a one-line file", shown);
        else
            require(stored->debugOff == (*plainDebug == 0), "plain Debug value misread", shown);
    }
    if (!stored)
        return;

    require(!lines.isEmpty(), "a port read out of an empty file", shown);
    require(stored->debugOff.has_value() == (lines.size() >= 2),
            "a Debug choice without a second line, or a second line left unread", shown);
    const std::optional<double> port = cNumber(portValue);
    require(port.has_value(), "a port value that is no number", shown);
    require(std::nearbyint(*port) == stored->comPort, "port not the value rounded", shown);
    require(stored->comPort >= std::numeric_limits<qint16>::min() &&
                stored->comPort <= std::numeric_limits<qint16>::max(),
            "a port outside 16 bits", shown);
    if (stored->debugOff) {
        const std::optional<double> debug = cNumber(debugValue);
        require(debug.has_value(), "a Debug value that is no number", shown);
        require(*stored->debugOff == (*debug == 0.0), "Debug Off other than for the value 0",
                shown);
    }
}

// Shutdown writes what the window shows; Debug Off is unchecked when the file
// had no second line.
void checkRoundTrip(const StoredPreferences &stored)
{
    if (stored.comPort < 1 || stored.comPort > 16)
        return;
    const bool debugOff = stored.debugOff.value_or(false);
    MemoryFiles files;
    writePreferences(files, Folder, stored.comPort, debugOff);
    const QByteArray written = files.files.value(preferencesPath(Folder));
    require(written == "COM=" + QByteArray::number(stored.comPort) +
                           "\r\nDBG=" + (debugOff ? "0" : "1") + "\r\n",
            "written file not the two lines", written.toPercentEncoding());
    std::optional<StoredPreferences> again;
    try {
        again = readPreferences(files, Folder);
    } catch (const UploaderError &error) {
        require(false, "the file shutdown wrote cannot be read", error.description().toUtf8());
    }
    require(again->comPort == stored.comPort, "port changed through a write and a read", written);
    require(again->debugOff == debugOff, "Debug choice changed through a write and a read",
            written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    MemoryFiles files;
    files.files.insert(preferencesPath(Folder), content);
    const std::optional<StoredPreferences> stored = readOrFailure(files, content);
    checkAgainstLines(textLines(content), stored, content);
    if (stored)
        checkRoundTrip(*stored);
    return 0;
}
