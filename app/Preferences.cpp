#include "Preferences.h"

#include "FileSystem.h"
#include "ProgramFolder.h"
#include "UploaderError.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

// The key before the value ("COM=", "DBG=") is never looked at.
constexpr int KeyLength = 4;

// Far more than a port number or a Debug choice can need. A file that is
// something else altogether (a log, an image, a gigabyte of one line) is
// refused after this much of a line, not read into memory whole.
constexpr qsizetype MaxLineLength = 4096;

[[noreturn]] void badLine(int code, const char *what, int lineNumber, const QByteArray &line)
{
    throw UploaderError(code, QStringLiteral("%1 (line %2 of hexcfg.dat: \"%3\")")
                                  .arg(QLatin1String(what))
                                  .arg(lineNumber)
                                  .arg(QString::fromLatin1(line.left(40))));
}

QByteArray lineOf(TextStream &stream, int lineNumber)
{
    std::optional<QByteArray> line = stream.ReadLineAtMost(MaxLineLength);
    if (!line) {
        throw UploaderError(ErrorCode::Overflow,
                            QStringLiteral("Overflow (line %1 of hexcfg.dat is longer than %2 "
                                           "characters)")
                                .arg(lineNumber)
                                .arg(MaxLineLength));
    }
    return *std::move(line);
}

QByteArray valueOf(const QByteArray &line, int lineNumber)
{
    if (line.size() < KeyLength) {
        badLine(ErrorCode::InvalidArgument, "Invalid procedure call or argument", lineNumber, line);
    }
    return line.mid(KeyLength);
}

// A decimal number as a person would type it: blanks around it, a sign, a
// fraction and an exponent are accepted ("5", " 5 ", "+3", "2.5", "1e1").
// Hexadecimal, group separators, "inf" and "nan" are not numbers here, and the
// decimal separator is always a point, whatever the desktop's language.
double numberIn(const QByteArray &line, int lineNumber)
{
    static const QRegularExpression decimal(
        QStringLiteral("^[ \\t]*[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?[ \\t]*$"));
    const QByteArray value = valueOf(line, lineNumber);
    if (!decimal.match(QString::fromLatin1(value)).hasMatch()) {
        badLine(ErrorCode::TypeMismatch, "Type mismatch", lineNumber, line);
    }
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        badLine(ErrorCode::Overflow, "Overflow", lineNumber, line);
    }
    return number;
}

// Whole numbers are rounded to the nearest, a half to the even neighbour
// (2.5 gives 2, 3.5 gives 4), and must then fit 16 bits.
int portIn(const QByteArray &line)
{
    const double rounded = std::nearbyint(numberIn(line, 1));
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max()) {
        badLine(ErrorCode::Overflow, "Overflow", 1, line);
    }
    return static_cast<int>(rounded);
}

} // namespace

QString preferencesPath(const QString &programFolder)
{
    return isUsableFolder(programFolder) ? programFolder + QStringLiteral("/hexcfg.dat")
                                         : QString();
}

StoredPreferences readPreferences(FileSystem &files, const QString &programFolder)
{
    requireUsableFolder(programFolder);
    const std::unique_ptr<TextStream> stream = files.OpenTextFile(preferencesPath(programFolder));
    StoredPreferences stored;
    stored.comPort = portIn(lineOf(*stream, 1));
    if (!stream->AtEndOfStream()) {
        stored.debugOff = numberIn(lineOf(*stream, 2), 2) == 0.0;
    }
    stream->Close();
    return stored;
}

void writePreferences(FileSystem &files, const QString &programFolder, int comPort, bool debugOff)
{
    requireUsableFolder(programFolder);
    const std::unique_ptr<TextWriter> writer = files.CreateTextFile(preferencesPath(programFolder));
    writer->WriteLine("COM=" + QByteArray::number(comPort));
    writer->WriteLine(debugOff ? "DBG=0" : "DBG=1");
    writer->Close();
}
