#include "QtFileSystem.h"

#include "FileFailure.h"
#include "ReplacingFileWriter.h"
#include "UploaderError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// Reads one line at a time straight from the file, so that a bounded line
// read (hexcfg.dat) never takes more of the file than the bound.
class FileLineReader final : public TextStream {
public:
    explicit FileLineReader(const QString &path) : m_file(path) {}

    void open()
    {
        if (!m_file.open(QIODevice::ReadOnly)) {
            failOnFile(fileErrorCode(m_file.error()), m_file.errorString(), m_file.fileName());
        }
    }

    bool AtEndOfStream() override { return !m_file.isOpen() || m_file.atEnd(); }

    QByteArray ReadLine() override { return readUpTo(0); }

    std::optional<QByteArray> ReadLineAtMost(qsizetype maxLength) override
    {
        // The line and its CR LF, and no more: a line that is longer shows
        // as one cut off before its line end and before the end of the file.
        const qint64 start = m_file.isOpen() ? m_file.pos() : 0;
        QByteArray line = readUpTo(maxLength + 2);
        const bool whole = m_file.atEnd() || m_file.pos() - start > line.size();
        if (!whole || line.size() > maxLength) {
            return std::nullopt;
        }
        return line;
    }

    void Close() override { m_file.close(); }

private:
    // The next line without its line end, at most maxBytes of it read (0: all).
    QByteArray readUpTo(qint64 maxBytes)
    {
        if (!m_file.isOpen()) {
            failOnFile(ErrorCode::FileAccessError, QStringLiteral("Stream already closed"),
                       m_file.fileName());
        }
        if (m_file.atEnd()) {
            failOnFile(ErrorCode::ReadPastEnd, QStringLiteral("Input past end of file"),
                       m_file.fileName());
        }
        m_file.unsetError();
        QByteArray line;
        if (maxBytes == 0) {
            line = m_file.readLine();
        } else {
            // This form reads at most one byte less than its buffer, for a NUL.
            line.resize(maxBytes + 1);
            line.resize(std::max<qint64>(m_file.readLine(line.data(), maxBytes + 1), 0));
        }
        if (m_file.error() != QFileDevice::NoError) {
            failOnFile(ErrorCode::FileAccessError, m_file.errorString(), m_file.fileName());
        }
        if (line.endsWith('\n')) {
            line.chop(line.endsWith("\r\n") ? 2 : 1);
        }
        return line;
    }

    QFile m_file;
};

} // namespace

bool QtFileSystem::FileExists(const QString &path)
{
    return QFileInfo(path).isFile();
}

std::unique_ptr<TextStream> QtFileSystem::OpenTextFile(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        failOnFile(ErrorCode::FileNotFound, QStringLiteral("File not found"), path);
    }
    auto stream = std::make_unique<FileLineReader>(path);
    stream->open();
    return stream;
}

QByteArray QtFileSystem::ReadFile(const QString &path, qint64 maxBytes)
{
    if (!QFileInfo(path).isFile()) {
        failOnFile(ErrorCode::FileNotFound, QStringLiteral("File not found"), path);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        failOnFile(fileErrorCode(file.error()), file.errorString(), path);
    }
    // Judged by the size first: a huge file costs neither memory nor time.
    const qint64 size = file.size();
    const QString tooLarge = QStringLiteral("File larger than %1 bytes").arg(maxBytes);
    if (size > maxBytes) {
        failOnFile(ErrorCode::FileTooLarge, tooLarge, path);
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    // In pieces, to the end as it is now: a file that grows meanwhile (or
    // reports no size, as some system files do) is stopped at the bound.
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0) {
            failOnFile(fileErrorCode(file.error()), file.errorString(), path);
        }
        if (got == 0) {
            return bytes;
        }
        if (bytes.size() + got > maxBytes) {
            failOnFile(ErrorCode::FileTooLarge, tooLarge, path);
        }
        bytes.append(piece.constData(), static_cast<qsizetype>(got));
    }
}

std::unique_ptr<TextWriter> QtFileSystem::CreateTextFile(const QString &path)
{
    auto writer = std::make_unique<ReplacingFileWriter>(path);
    writer->open();
    return writer;
}

QStringList QtFileSystem::FolderFiles(const QString &folder)
{
    // QDir lists an unreadable folder as an empty one; the firmware search must
    // fail there instead of reporting that no firmware exists.
    namespace fs = std::filesystem;
    std::error_code listing;
    fs::directory_iterator entry(QFile::encodeName(folder).toStdString(), listing);
    QStringList names;
    for (; !listing && entry != fs::directory_iterator(); entry.increment(listing)) {
        std::error_code vanished; // a dangling link or a file removed meanwhile: not a plain file
        const QByteArray raw = QByteArray::fromStdString(entry->path().filename().string());
        const QString name = QFile::decodeName(raw);
        // A name in another encoding than the system's cannot be opened again
        // by its decoded form: listing it would offer a file that cannot be sent.
        if (entry->is_regular_file(vanished) && QFile::encodeName(name) == raw) {
            names << name;
        }
    }
    if (listing) {
        failOnFile(
            ErrorCode::PathNotFound,
            QStringLiteral("Path not found (%1)").arg(QString::fromStdString(listing.message())),
            folder);
    }
    names.sort(Qt::CaseSensitive);
    return names;
}
