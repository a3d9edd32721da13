#pragma once

#include <QByteArray>
#include <QList>

namespace e2e {

// ESC and a request, as the uploader sends them.
inline const QByteArray RebootBytes("\x1b\x01\x48\x01\x00\x49", 6);
inline const QByteArray ResetBytes("\x1b\x01\x3b\x01\x00\x3c", 6);

// What the uploader writes for an update of `hexFile` up to its line `lines`:
// the way into the monitor, then each line as SOH and its pairs.
inline QByteArray transferWire(const QByteArray &hexFile, int lines)
{
    QByteArray bytes = RebootBytes + "quandrel\r\n\x05\x05\x05";
    for (const QByteArray &line : hexFile.trimmed().split('\n').mid(0, lines))
        bytes += '\x01' + QByteArray::fromHex(line.trimmed().mid(1));
    return bytes;
}

} // namespace e2e
