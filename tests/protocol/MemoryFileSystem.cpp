#include "MemoryFileSystem.h"

#include "UploaderError.h"

namespace {

FileServiceError failure(int code)
{
    return FileServiceError(code, QStringLiteral("injected failure"));
}

// Lines end in LF, a CR before it dropped; a last line may lack its end.
class MemoryStream : public TextStream {
public:
    MemoryStream(int &openStreams, const QByteArray &content, int failLine, bool failAtEnd)
        : m_openStreams(openStreams), m_lines(content.split('\n')), m_failLine(failLine),
          m_failAtEnd(failAtEnd)
    {
        if (content.isEmpty() || content.endsWith('\n'))
            m_lines.removeLast();
    }

    bool AtEndOfStream() override
    {
        if (m_failAtEnd && m_next + 1 == m_failLine)
            throw failure(ErrorCode::FileAccessError);
        return m_next >= m_lines.size();
    }
    QByteArray ReadLine() override
    {
        if (m_next + 1 == m_failLine)
            throw failure(ErrorCode::FileAccessError);
        if (AtEndOfStream())
            throw failure(ErrorCode::ReadPastEnd);
        const QByteArray line = m_lines.at(m_next++);
        return line.endsWith('\r') ? line.chopped(1) : line;
    }
    void Close() override
    {
        m_openStreams -= m_open ? 1 : 0;
        m_open = false;
    }

private:
    int &m_openStreams;
    QList<QByteArray> m_lines;
    int m_failLine;
    bool m_failAtEnd;
    qsizetype m_next = 0;
    bool m_open = true;
};

} // namespace

bool MemoryFileSystem::FileExists(const QString &path)
{
    paths << path;
    return files.contains(path);
}

qint64 MemoryFileSystem::FileSize(const QString &path)
{
    paths << path;
    if (sizeFails || !files.contains(path))
        throw failure(ErrorCode::FileNotFound);
    return files.value(path).size();
}

std::unique_ptr<TextStream> MemoryFileSystem::OpenTextFile(const QString &path)
{
    paths << path;
    ++openings;
    if (beforeOpen)
        beforeOpen(openings);
    if (openings == failOpen || !files.contains(path))
        throw failure(ErrorCode::FileNotFound);
    ++openStreams;
    return std::make_unique<MemoryStream>(openStreams, files.value(path),
                                          openings == failReadOpen ? failReadLine : 0, failAtEnd);
}

std::unique_ptr<TextWriter> MemoryFileSystem::CreateTextFile(const QString &)
{
    throw failure(ErrorCode::PermissionDenied);
}

QStringList MemoryFileSystem::FolderFiles(const QString &)
{
    return {};
}
