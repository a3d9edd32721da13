#include "ByteText.h"

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

// Built in place: every received byte is logged, and the log must keep up.
QString hexDigits(std::uint8_t byte, bool blank)
{
    QChar text[3];
    qsizetype size = 0;
    if (byte >= 16)
        text[size++] = QLatin1Char(Digits[byte >> 4]);
    text[size++] = QLatin1Char(Digits[byte & 15]);
    if (blank)
        text[size++] = QLatin1Char(' ');
    return QString(text, size);
}

} // namespace

QString byteHex(std::uint8_t byte)
{
    return hexDigits(byte, false);
}

QString logEntry(std::uint8_t byte)
{
    return hexDigits(byte, true);
}
