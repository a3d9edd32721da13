#include "MemoryFiles.h"

#include "UploaderError.h"

namespace {

[[noreturn]] void fail(int code, const QString &what, const QString &path)
{
    throw FileServiceError(code, what + QStringLiteral(": ") + path);
}

class MemoryReader final : public TextStream {
public:
    MemoryReader(QByteArray content, QString path)
        : m_content(std::move(content)), m_path(std::move(path))
    {
    }

    bool AtEndOfStream() override { return m_closed || m_position >= m_content.size(); }

    QByteArray ReadLine() override
    {
        if (m_closed)
            fail(ErrorCode::FileAccessError, QStringLiteral("Stream already closed"), m_path);
        if (m_position >= m_content.size())
            fail(ErrorCode::ReadPastEnd, QStringLiteral("Input past end of file"), m_path);
        const qsizetype end = m_content.indexOf('\n', m_position);
        if (end < 0) {
            const QByteArray last = m_content.mid(m_position);
            m_position = m_content.size();
            return last;
        }
        QByteArray line = m_content.mid(m_position, end - m_position);
        if (line.endsWith('\r'))
            line.chop(1);
        m_position = end + 1;
        return line;
    }

    void Close() override { m_closed = true; }

private:
    QByteArray m_content;
    QString m_path;
    qsizetype m_position = 0;
    bool m_closed = false;
};

class MemoryWriter final : public TextWriter {
public:
    MemoryWriter(QMap<QString, QByteArray> &files, QString path)
        : m_files(files), m_path(std::move(path))
    {
    }

    void WriteLine(const QByteArray &text) override
    {
        if (m_closed)
            fail(ErrorCode::FileAccessError, QStringLiteral("Stream already closed"), m_path);
        m_written += text + "\r\n";
    }

    void Close() override
    {
        if (m_closed)
            return;
        m_closed = true;
        m_files.insert(m_path, m_written);
    }

private:
    QMap<QString, QByteArray> &m_files;
    QString m_path;
    QByteArray m_written;
    bool m_closed = false;
};

} // namespace

bool MemoryFiles::FileExists(const QString &path)
{
    return files.contains(path);
}

qint64 MemoryFiles::FileSize(const QString &path)
{
    if (!files.contains(path))
        fail(ErrorCode::FileNotFound, QStringLiteral("File not found"), path);
    return files.value(path).size();
}

std::unique_ptr<TextStream> MemoryFiles::OpenTextFile(const QString &path)
{
    if (!files.contains(path))
        fail(ErrorCode::FileNotFound, QStringLiteral("File not found"), path);
    return std::make_unique<MemoryReader>(files.value(path), path);
}

std::unique_ptr<TextWriter> MemoryFiles::CreateTextFile(const QString &path)
{
    return std::make_unique<MemoryWriter>(files, path);
}

QStringList MemoryFiles::FolderFiles(const QString &)
{
    return listing;
}

QList<QByteArray> textLines(const QByteArray &content)
{
    QList<QByteArray> lines = content.split('\n');
    // What follows the last LF is a line only when there is something, and,
    // having no LF, it keeps a CR at its end.
    const QByteArray unterminated = lines.takeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (!unterminated.isEmpty())
        lines.append(unterminated);
    return lines;
}
