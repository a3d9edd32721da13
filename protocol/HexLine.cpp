#include "HexLine.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<HexLine> decodeHexLine(QByteArrayView line)
{
    HexLine decoded;
    decoded.bytes.reserve(line.size() / 2);
    // Positions are 1-based: the pair at position p is characters p and p + 1.
    for (; decoded.endPosition < line.size(); decoded.endPosition += 2) {
        const int high = hexDigit(line.at(decoded.endPosition - 1));
        const int low = hexDigit(line.at(decoded.endPosition));
        if (high < 0 || low < 0)
            return std::nullopt;
        decoded.bytes.append(static_cast<char>(high * 16 + low));
    }
    return decoded;
}
