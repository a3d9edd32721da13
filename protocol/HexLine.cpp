#include "HexLine.h"

std::optional<HexLine> decodeHexLine(QByteArrayView line)
{
    HexLine decoded;
    decoded.bytes.reserve(line.size() / 2);
    const std::optional<qint64> end = HexPairs::read(
        line, [&decoded](std::uint8_t byte) { decoded.bytes.append(static_cast<char>(byte)); });
    if (!end)
        return std::nullopt;
    decoded.endPosition = *end;
    return decoded;
}
