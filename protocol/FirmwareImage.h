#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

class FirmwareSource;

// The lines of a text file's bytes, as the file service reads them: a line
// ends at LF, a CR right before the LF is dropped, and the last line may lack
// its end (keeping a CR it ends with).
class TextLines {
public:
    explicit TextLines(QByteArrayView bytes) : m_bytes(bytes) {}
    bool atEnd() const { return m_next >= m_bytes.size(); }
    // The next line without its line end. Precondition: !atEnd().
    QByteArrayView next();

private:
    QByteArrayView m_bytes;
    qsizetype m_next = 0;
};

// The firmware file, read once before anything goes on the wire and sent from
// memory: what was checked is what the instrument gets, whatever happens to
// the file on disk meanwhile.
//
// Once the monitor has erased its flash the instrument has no firmware until a
// whole image arrives, so a file that can never get there is refused first.
// Each line is judged by the bytes the transfer would send for it (the first
// character never looked at): they must form one record, its count byte equal
// to its number of data bytes and all of them, checksum included, summing to
// 0 modulo 256; and the one end-of-file record (type 01) must be the very
// last line, since the monitor gives its verdict as soon as it has it. The
// types 01 to 05 must hold the number of data bytes the format fixes for
// them; other types, and every address, are left to the monitor.
class FirmwareImage {
public:
    // Far beyond any instrument's flash written as Intel HEX.
    static constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

    // Read once, then checked. Empty when the file is missing, unreadable,
    // larger than MaxFileBytes or refused; `refusal` then says why.
    static std::optional<FirmwareImage> load(FirmwareSource &files, const QString &path);
    static std::optional<FirmwareImage> load(FirmwareSource &files, const QString &path,
                                             QString &refusal);
    // The check on bytes already in memory.
    static std::optional<FirmwareImage> check(QByteArray bytes);
    static std::optional<FirmwareImage> check(QByteArray bytes, QString &refusal);

    const QByteArray &bytes() const { return m_bytes; }
    qint64 size() const { return m_bytes.size(); }
    // The lines in file order, each sent as SOH and its decoded pairs.
    TextLines lines() const { return TextLines(m_bytes); }

private:
    explicit FirmwareImage(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    QByteArray m_bytes;
};
