#include "ByteText.h"

QString byteHex(std::uint8_t byte)
{
    return QString::number(byte, 16).toUpper();
}

QString logEntry(std::uint8_t byte)
{
    return byteHex(byte) + QLatin1Char(' ');
}
