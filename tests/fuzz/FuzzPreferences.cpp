// hexcfg.dat, whatever it holds: plain values are never refused; a value read is the
// C library's number rounded half to even, within 16 bits; a failure is an UploaderError.
#include "FuzzCheck.h"
#include "MemoryFileSystem.h"
#include "Preferences.h"
#include "UploaderError.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

// The value after a line's four key characters, when strtod reads all of it.
std::optional<double> cNumber(const QByteArray &line)
{
    const std::string text = line.mid(4).trimmed().toStdString();
    char *end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size())
        return std::nullopt;
    return number;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString folder = QStringLiteral("/opt/veltrax");
    MemoryFileSystem files;
    files.files.insert(preferencesPath(folder), content);
    std::optional<StoredPreferences> stored;
    try {
        stored = readPreferences(files, folder);
    } catch (const UploaderError &) {
    }
    // Blanks, a sign and at most four digits after the key: what a technician types.
    static const QRegularExpression typed(QStringLiteral("^ *[+-]?[0-9]{1,4} *$"));
    const QList<QByteArray> lines = textLines(content);
    const auto plain = [&](int i) {
        return typed.match(QString::fromLatin1(lines.value(i).mid(4))).hasMatch();
    };
    require(stored || !plain(0) || (lines.size() > 1 && !plain(1)), "plain values refused");
    if (!stored)
        return 0;
    const std::optional<double> port = cNumber(lines.value(0)), debug = cNumber(lines.value(1));
    require(port && std::nearbyint(*port) == stored->comPort &&
                static_cast<qint16>(stored->comPort) == stored->comPort,
            "port not the value rounded, or beyond 16 bits");
    require(lines.size() < 2 ? !stored->debugOff : debug && stored->debugOff == (*debug == 0),
            "Debug Off other than for 0, or a Debug choice without its line");
    return 0;
}
