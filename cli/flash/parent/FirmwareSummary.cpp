#include "FirmwareSummary.h"

#include "FirmwareImage.h"
#include "HexLine.h"

#include <algorithm>

namespace {

enum RecordType : std::uint8_t { Data = 0x00, SegmentBase = 0x02, LinearBase = 0x04 };
// Count, two address bytes and type before the data.
constexpr qsizetype DataOffset = 4;

} // namespace

FirmwareSummary summarizeFirmware(const QByteArray &bytes)
{
    FirmwareSummary summary;
    QList<FirmwareSummary::Range> records;
    quint64 base = 0;
    for (TextLines lines(bytes); !lines.atEnd();) {
        const std::optional<HexLine> line = decodeHexLine(lines.next());
        ++summary.lines;
        if (!line || line->bytes.size() <= DataOffset)
            continue;
        const auto byte = [&](qsizetype i) { return quint64(quint8(line->bytes.at(i))); };
        const qsizetype dataBytes = byte(0);
        // A base record holds two bytes; one of another length sets nothing.
        const bool baseValue = dataBytes == 2 && line->bytes.size() > DataOffset + 1;
        const quint64 value = baseValue ? byte(DataOffset) << 8 | byte(DataOffset + 1) : 0;
        switch (byte(3)) {
        case Data:
            summary.dataBytes += dataBytes;
            if (dataBytes > 0) {
                const quint64 first = base + (byte(1) << 8 | byte(2));
                records.append({first, first + quint64(dataBytes) - 1});
            }
            break;
        case SegmentBase:
            if (baseValue)
                base = value << 4;
            break;
        case LinearBase:
            if (baseValue)
                base = value << 16;
            break;
        default:
            break;
        }
    }
    std::sort(records.begin(), records.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const FirmwareSummary::Range &record : records) {
        if (!summary.ranges.isEmpty() && record.first <= summary.ranges.last().last + 1)
            summary.ranges.last().last = std::max(summary.ranges.last().last, record.last);
        else
            summary.ranges.append(record);
    }
    return summary;
}
