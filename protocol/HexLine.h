#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// A firmware file line as the monitor receives it. The first character (the
// record mark) is never looked at; from the second on the line is read as
// pairs of hexadecimal digits, a pair taken while it starts before the line's
// last character, so a lone final character is dropped. Nothing of the record
// is interpreted: the monitor checks lengths, types and checksums itself.
struct HexLine {
    QByteArray bytes;       // one byte per pair, in line order
    qint64 endPosition = 2; // 1-based position after the last pair taken
};

// Empty when a pair that would be sent is not two hexadecimal digits. The only
// place lines are decoded, so the check before the erase and the transfer agree.
std::optional<HexLine> decodeHexLine(QByteArrayView line);
