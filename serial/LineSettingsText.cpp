#include "LineSettingsText.h"

#include <QStringList>

namespace {

// Digits only: no sign, no blanks, no "0x".
std::optional<int> plainNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    }
    return text.toInt();
}

} // namespace

std::optional<LineSettings> parseSettingsText(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;

    const std::optional<int> baud = plainNumber(fields[0]);
    const std::optional<int> dataBits = plainNumber(fields[2]);
    const std::optional<int> stopBits = plainNumber(fields[3]);
    const QString parity = fields[1].toUpper();
    if (!baud || *baud <= 0 || !dataBits || *dataBits < 5 || *dataBits > 8 || !stopBits ||
        (*stopBits != 1 && *stopBits != 2))
        return std::nullopt;
    if (parity != QLatin1String("N") && parity != QLatin1String("E") &&
        parity != QLatin1String("O"))
        return std::nullopt;

    LineSettings settings;
    settings.baud = *baud;
    settings.parity = parity.at(0).toLatin1();
    settings.dataBits = *dataBits;
    settings.stopBits = *stopBits;
    return settings;
}

QString settingsText(const LineSettings &settings)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baud)
        .arg(QLatin1Char(settings.parity))
        .arg(settings.dataBits)
        .arg(settings.stopBits);
}
