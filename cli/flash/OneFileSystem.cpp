#include "OneFileSystem.h"

#include "UploaderError.h"

namespace {

// Lines as the disk service reads them: up to and including LF, without
// the CR LF or LF that ends them; a last line without an end is kept whole.
qsizetype nextLine(const QByteArray &contents, qsizetype from, QByteArray *line)
{
    const qsizetype end = contents.indexOf('\n', from);
    const qsizetype next = end < 0 ? contents.size() : end + 1;
    if (line) {
        *line = contents.mid(from, next - from);
        if (line->endsWith('\n'))
            line->chop(line->endsWith("\r\n") ? 2 : 1);
    }
    return next;
}

class MemoryLineReader final : public TextStream {
public:
    MemoryLineReader(const QByteArray &contents, QString path)
        : m_contents(contents), m_path(std::move(path))
    {
    }
    bool AtEndOfStream() override { return m_closed || m_next >= m_contents.size(); }
    QByteArray ReadLine() override
    {
        if (m_closed)
            throw FileServiceError(ErrorCode::FileAccessError,
                                   QStringLiteral("Stream already closed: ") + m_path);
        if (m_next >= m_contents.size())
            throw FileServiceError(ErrorCode::ReadPastEnd,
                                   QStringLiteral("Input past end of file: ") + m_path);
        QByteArray line;
        m_next = nextLine(m_contents, m_next, &line);
        return line;
    }
    void Close() override { m_closed = true; }

private:
    const QByteArray m_contents; // shares the data, never copies it
    const QString m_path;
    qsizetype m_next = 0;
    bool m_closed = false;
};

} // namespace

OneFileSystem::OneFileSystem(QString path, QByteArray contents)
    : m_path(std::move(path)), m_contents(std::move(contents))
{
}

bool OneFileSystem::FileExists(const QString &path)
{
    return path == m_path;
}

void OneFileSystem::requireTheFile(const QString &path) const
{
    if (path != m_path)
        throw FileServiceError(ErrorCode::FileNotFound, QStringLiteral("File not found: ") + path);
}

qint64 OneFileSystem::FileSize(const QString &path)
{
    requireTheFile(path);
    return m_contents.size();
}

QByteArray OneFileSystem::ReadFile(const QString &path, qint64 maxBytes)
{
    requireTheFile(path);
    if (m_contents.size() > maxBytes)
        throw FileServiceError(ErrorCode::FileAccessError,
                               QStringLiteral("File too large: ") + path);
    return m_contents;
}

std::unique_ptr<TextStream> OneFileSystem::OpenTextFile(const QString &path)
{
    requireTheFile(path);
    return std::make_unique<MemoryLineReader>(m_contents, m_path);
}

std::unique_ptr<TextWriter> OneFileSystem::CreateTextFile(const QString &path)
{
    throw FileServiceError(ErrorCode::PermissionDenied, QStringLiteral("Read only: ") + path);
}

QStringList OneFileSystem::FolderFiles(const QString &folder)
{
    throw FileServiceError(ErrorCode::PathNotFound, QStringLiteral("Path not found: ") + folder);
}

qint64 OneFileSystem::lineCount() const
{
    qint64 lines = 0;
    for (qsizetype next = 0; next < m_contents.size(); next = nextLine(m_contents, next, nullptr))
        ++lines;
    return lines;
}
