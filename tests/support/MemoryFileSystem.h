#pragma once

#include "FileSystem.h"
#include "UploaderError.h"

#include <QMap>
#include <functional>

// The lines a stream yields: a line ends at LF, a CR right before the LF is
// dropped, and a last line may lack its end (keeping a CR it ends with).
inline QList<QByteArray> textLines(const QByteArray &content)
{
    QList<QByteArray> lines = content.split('\n');
    const QByteArray unterminated = lines.takeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (!unterminated.isEmpty())
        lines.append(unterminated);
    return lines;
}

// Files held in memory and read as the disk service reads them, with failures
// injected where a disk could fail. A file written replaces the old one only
// when its writer is closed.
class MemoryFileSystem : public FileSystem {
public:
    QMap<QString, QByteArray> files;
    QStringList listing; // what FolderFiles lists, whichever folder is asked
    bool listFails = false;
    bool sizeFails = false;
    int failOpen = 0;                       // this OpenTextFile (1-based) throws
    int failReadOpen = 0, failReadLine = 0; // this ReadLine of that opening throws
    bool failAtEnd = false;                 // AtEndOfStream before that line throws instead
    std::function<void(int opening)> beforeOpen;
    int openings = 0;
    int openStreams = 0; // opened and not yet closed

    bool FileExists(const QString &path) override { return files.contains(path); }
    qint64 FileSize(const QString &path) override
    {
        check(!sizeFails && files.contains(path), ErrorCode::FileNotFound);
        return files.value(path).size();
    }
    std::unique_ptr<TextStream> OpenTextFile(const QString &path) override
    {
        if (beforeOpen)
            beforeOpen(openings + 1);
        check(++openings != failOpen && files.contains(path), ErrorCode::FileNotFound);
        ++openStreams;
        return std::make_unique<Stream>(*this, textLines(files.value(path)),
                                        openings == failReadOpen ? failReadLine : 0);
    }
    std::unique_ptr<TextWriter> CreateTextFile(const QString &path) override
    {
        return std::make_unique<Writer>(files, path);
    }
    QStringList FolderFiles(const QString &) override
    {
        check(!listFails, ErrorCode::PathNotFound);
        return listing;
    }

private:
    static void check(bool ok, int code)
    {
        if (!ok)
            throw FileServiceError(code, QStringLiteral("injected failure"));
    }
    struct Stream : TextStream {
        Stream(MemoryFileSystem &owner, QList<QByteArray> lines, int failLine)
            : owner(owner), lines(std::move(lines)), failLine(failLine)
        {
        }
        bool AtEndOfStream() override
        {
            check(!(owner.failAtEnd && next + 1 == failLine), ErrorCode::FileAccessError);
            return next >= lines.size();
        }
        QByteArray ReadLine() override
        {
            check(next + 1 != failLine, ErrorCode::FileAccessError);
            check(next < lines.size(), ErrorCode::ReadPastEnd);
            return lines.at(next++);
        }
        void Close() override { owner.openStreams -= std::exchange(open, false) ? 1 : 0; }

        MemoryFileSystem &owner;
        QList<QByteArray> lines;
        int failLine;
        qsizetype next = 0;
        bool open = true;
    };
    struct Writer : TextWriter {
        Writer(QMap<QString, QByteArray> &files, QString path) : files(files), path(path) {}
        void WriteLine(const QByteArray &text) override { written += text + "\r\n"; }
        void Close() override { files.insert(path, written); }

        QMap<QString, QByteArray> &files;
        QString path;
        QByteArray written;
    };
};
