#include "FirmwareImage.h"

#include "FirmwareSource.h"
#include "HexLine.h"
#include "UploaderError.h"

#include <iterator>

namespace {

// Count byte, two address bytes, type byte and checksum byte.
constexpr qsizetype RecordFrameBytes = 5;
constexpr std::uint8_t EndOfFileType = 0x01;

// The data length the Intel HEX format fixes for each record type that has
// one: end of file, segment address, segment start, linear address, linear
// start. A record of these types with another length is one no monitor can
// load, and the flash would already be erased when it said so. Types above
// 05 are the instrument's own to judge.
constexpr int FixedDataBytes[] = {-1, 0, 2, 4, 2, 4};

// Why the bytes the line would send are not one whole record; empty when
// they are. `endOfFile` tells whether it is the end-of-file record.
QString recordFault(QByteArrayView line, bool &endOfFile)
{
    qsizetype count = 0;
    std::uint8_t countByte = 0, type = 0, sum = 0;
    const std::optional<qint64> end = HexPairs::read(line, [&](std::uint8_t byte) {
        if (count == 0)
            countByte = byte;
        if (count == 3)
            type = byte;
        sum += byte;
        ++count;
    });
    if (!end)
        return QStringLiteral("a pair is not two hexadecimal digits");
    if (count < RecordFrameBytes)
        return QStringLiteral("too short for a record");
    if (countByte != count - RecordFrameBytes)
        return QStringLiteral("its count is not its number of data bytes");
    if (sum != 0)
        return QStringLiteral("its checksum does not match");
    const qsizetype dataBytes = count - RecordFrameBytes;
    if (type < std::size(FixedDataBytes) && FixedDataBytes[type] >= 0 &&
        dataBytes != FixedDataBytes[type])
        return QStringLiteral("a type %1 record must hold %2 data bytes, not %3")
            .arg(type, 2, 10, QLatin1Char('0'))
            .arg(FixedDataBytes[type])
            .arg(dataBytes);
    endOfFile = type == EndOfFileType;
    return {};
}

} // namespace

QByteArrayView TextLines::next()
{
    const qsizetype end = m_bytes.indexOf('\n', m_next);
    if (end < 0) {
        const QByteArrayView last = m_bytes.sliced(m_next);
        m_next = m_bytes.size();
        return last;
    }
    QByteArrayView line = m_bytes.sliced(m_next, end - m_next);
    m_next = end + 1;
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<FirmwareImage> FirmwareImage::load(FirmwareSource &files, const QString &path)
{
    QString refusal;
    return load(files, path, refusal);
}

std::optional<FirmwareImage> FirmwareImage::load(FirmwareSource &files, const QString &path,
                                                 QString &refusal)
{
    QByteArray bytes;
    try {
        if (!files.FileExists(path)) {
            refusal = QStringLiteral("no such file");
            return std::nullopt;
        }
        bytes = files.ReadFile(path, MaxFileBytes);
    } catch (const UploaderError &error) {
        refusal = QStringLiteral("%1 (error %2)").arg(error.description()).arg(error.code());
        return std::nullopt;
    }
    return check(std::move(bytes), refusal);
}

std::optional<FirmwareImage> FirmwareImage::check(QByteArray bytes)
{
    QString refusal;
    return check(std::move(bytes), refusal);
}

std::optional<FirmwareImage> FirmwareImage::check(QByteArray bytes, QString &refusal)
{
    if (bytes.size() > MaxFileBytes) {
        refusal = QStringLiteral("larger than %1 bytes").arg(MaxFileBytes);
        return std::nullopt;
    }
    qint64 lineNumber = 0;
    bool ended = false;
    for (TextLines lines(bytes); !lines.atEnd();) {
        const QByteArrayView line = lines.next();
        ++lineNumber;
        // After the end-of-file record the monitor is already giving its
        // verdict; even an empty line would go out as an SOH it cannot take.
        if (ended) {
            refusal = QStringLiteral("line %1 follows the end-of-file record").arg(lineNumber);
            return std::nullopt;
        }
        const QString fault = recordFault(line, ended);
        if (!fault.isEmpty()) {
            refusal = QStringLiteral("line %1: %2").arg(lineNumber).arg(fault);
            return std::nullopt;
        }
    }
    if (!ended) {
        refusal = QStringLiteral("no end-of-file record");
        return std::nullopt;
    }
    return FirmwareImage(std::move(bytes));
}
