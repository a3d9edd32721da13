#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

// A firmware file line as the monitor receives it. The first character (the
// record mark) is never looked at; from the second on the line is read as
// pairs of hexadecimal digits, a pair taken while it starts before the line's
// last character, so a lone final character is dropped. Nothing of the record
// is interpreted here: the check before the erase and the monitor judge it.
struct HexLine {
    QByteArray bytes;       // one byte per pair, in line order
    qint64 endPosition = 2; // 1-based position after the last pair taken
};

namespace HexPairs {

inline int digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Calls take(byte) for each pair that would be sent, in order, and returns the
// position after the last pair; empty at a pair that is not two hexadecimal
// digits. The one reading of a line, so the check and the transfer agree.
template <typename Take> std::optional<qint64> read(QByteArrayView line, Take &&take)
{
    qint64 position = 2; // 1-based: the pair at p is characters p and p + 1
    for (; position < line.size(); position += 2) {
        const int high = digit(line.at(position - 1));
        const int low = digit(line.at(position));
        if (high < 0 || low < 0)
            return std::nullopt;
        take(static_cast<std::uint8_t>(high * 16 + low));
    }
    return position;
}

} // namespace HexPairs

// Empty when a pair that would be sent is not two hexadecimal digits.
std::optional<HexLine> decodeHexLine(QByteArrayView line);
