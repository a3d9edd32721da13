#pragma once

#include <QByteArray>
#include <QList>

// What a checked firmware file holds, for the person who releases it: its
// lines, the data bytes its data records carry, and the flash addresses they
// land on. The monitor applies the extended-address records (type 02, a
// segment base; type 04, the upper 16 bits) to the data records after them,
// so the ranges do too.
struct FirmwareSummary {
    struct Range {
        quint64 first = 0, last = 0; // inclusive
    };
    qint64 lines = 0;
    qint64 dataBytes = 0;
    QList<Range> ranges; // ascending; touching or overlapping records merged
};

// `bytes` must have passed the update's check: each line one whole record.
FirmwareSummary summarizeFirmware(const QByteArray &bytes);
