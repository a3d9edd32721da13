#include "OneFileSystem.h"

#include "FirmwareImage.h"
#include "UploaderError.h"

namespace {

class MemoryLineReader final : public TextStream {
public:
    MemoryLineReader(const QByteArray &contents, QString path)
        : m_contents(contents), m_lines(m_contents), m_path(std::move(path))
    {
    }
    bool AtEndOfStream() override { return m_closed || m_lines.atEnd(); }
    QByteArray ReadLine() override
    {
        if (m_closed)
            throw FileServiceError(ErrorCode::FileAccessError,
                                   QStringLiteral("Stream already closed: ") + m_path);
        if (m_lines.atEnd())
            throw FileServiceError(ErrorCode::ReadPastEnd,
                                   QStringLiteral("Input past end of file: ") + m_path);
        return m_lines.next().toByteArray();
    }
    void Close() override { m_closed = true; }

private:
    const QByteArray m_contents; // shares the data, never copies it
    TextLines m_lines;
    const QString m_path;
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
        throw FileServiceError(ErrorCode::FileTooLarge, QStringLiteral("File too large: ") + path);
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
    for (TextLines text(m_contents); !text.atEnd(); text.next())
        ++lines;
    return lines;
}
