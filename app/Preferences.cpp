#include "Preferences.h"

#include "FileSystem.h"
#include "UploaderError.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

// The key before the value ("COM=", "DBG=") is never looked at.
constexpr int KeyLength = 4;

[[noreturn]] void badLine(int code, const char *what, int lineNumber, const QByteArray &line)
{
    throw UploaderError(code, QStringLiteral("%1 (line %2 of hexcfg.dat: \"%3\")")
                                  .arg(QLatin1String(what))
                                  .arg(lineNumber)
                                  .arg(QString::fromLatin1(line.left(40))));
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
    return programFolder + QStringLiteral("/hexcfg.dat");
}

StoredPreferences readPreferences(FileSystem &files, const QString &programFolder)
{
    const std::unique_ptr<TextStream> stream = files.OpenTextFile(preferencesPath(programFolder));
    StoredPreferences stored;
    stored.comPort = portIn(stream->ReadLine());
    if (!stream->AtEndOfStream()) {
        stored.debugOff = numberIn(stream->ReadLine(), 2) == 0.0;
    }
    stream->Close();
    return stored;
}

void writePreferences(FileSystem &files, const QString &programFolder, int comPort, bool debugOff)
{
    const std::unique_ptr<TextWriter> writer = files.CreateTextFile(preferencesPath(programFolder));
    writer->WriteLine("COM=" + QByteArray::number(comPort));
    writer->WriteLine(debugOff ? "DBG=0" : "DBG=1");
    writer->Close();
}
