#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// A text file opened for reading: 8-bit, one character per byte, lines ending
// in CR LF or LF.
class TextStream {
public:
    virtual ~TextStream() = default;
    // True when no further line can be read.
    virtual bool AtEndOfStream() = 0;
    // The next line without its line end. Reading past the end, or a failed
    // read, throws FileServiceError.
    virtual QByteArray ReadLine() = 0;
    // The next line as ReadLine() gives it when it holds at most maxLength
    // characters; for a longer one nothing, and at most maxLength and a line
    // end's characters of it are read. A reader that holds its lines in memory
    // may keep this default.
    virtual std::optional<QByteArray> ReadLineAtMost(qsizetype maxLength)
    {
        QByteArray line = ReadLine();
        return line.size() <= maxLength ? std::optional<QByteArray>(std::move(line)) : std::nullopt;
    }
    virtual void Close() = 0;
};

// A text file being written. Lines end in CR LF. Nothing replaces the file on
// disk until Close() succeeds: a failure leaves the old file as it was.
class TextWriter {
public:
    virtual ~TextWriter() = default;
    virtual void WriteLine(const QByteArray &text) = 0; // throws FileServiceError
    virtual void Close() = 0;                           // throws FileServiceError
};

// The file-system service: what the program asks of files and folders.
// Failures are thrown as FileServiceError with the codes of UploaderError.h.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool FileExists(const QString &path) = 0;
    virtual qint64 FileSize(const QString &path) = 0;
    // The whole file as it is now, read once. A file larger than maxBytes
    // throws FileServiceError (FileTooLarge): judged by its size before
    // anything is read, and reading stops at the bound if it grows meanwhile.
    virtual QByteArray ReadFile(const QString &path, qint64 maxBytes) = 0;
    virtual std::unique_ptr<TextStream> OpenTextFile(const QString &path) = 0;
    // Create or replace.
    virtual std::unique_ptr<TextWriter> CreateTextFile(const QString &path) = 0;
    // The bare names of the plain files directly in the folder (no folders).
    virtual QStringList FolderFiles(const QString &folder) = 0;
};
