#pragma once

#include "FileSystem.h"
#include "FirmwareImage.h"
#include "UploaderError.h"

#include <QMap>

// A stream's lines, as the firmware's own reader splits them.
inline QList<QByteArray> textLines(const QByteArray &content)
{
    QList<QByteArray> lines;
    for (TextLines text(content); !text.atEnd();)
        lines << text.next().toByteArray();
    return lines;
}

// Files in memory, read as the disk service reads them.
class MemoryFileSystem : public FileSystem {
public:
    QMap<QString, QByteArray> files;
    QStringList listing; // what FolderFiles lists, whichever folder is asked
    bool listFails = false;
    int wholeReads = 0;          // ReadFile calls that returned a file
    QMap<QString, qint64> sizes; // a size to report instead of the content's

    bool FileExists(const QString &path) override { return files.contains(path); }
    QByteArray ReadFile(const QString &path, qint64 maxBytes) override
    {
        check(files.contains(path), ErrorCode::FileNotFound);
        check(sizes.value(path, files.value(path).size()) <= maxBytes, ErrorCode::FileTooLarge);
        ++wholeReads;
        return files.value(path);
    }
    std::unique_ptr<TextStream> OpenTextFile(const QString &path) override
    {
        check(files.contains(path), ErrorCode::FileNotFound);
        return std::make_unique<Stream>(textLines(files.value(path)));
    }
    std::unique_ptr<TextWriter> CreateTextFile(const QString &path) override
    {
        throw FileServiceError(ErrorCode::PermissionDenied, path + QStringLiteral(" is read-only"));
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
        explicit Stream(QList<QByteArray> lines) : lines(std::move(lines)) {}
        bool AtEndOfStream() override { return next >= lines.size(); }
        QByteArray ReadLine() override
        {
            check(next < lines.size(), ErrorCode::ReadPastEnd);
            return lines.at(next++);
        }
        void Close() override {}

        QList<QByteArray> lines;
        qsizetype next = 0;
    };
};
