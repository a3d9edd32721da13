#pragma once

#include "FirmwareSource.h"

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

// The file-system service: what the program asks of files and folders. The
// text streams serve the preferences, the listing the firmware search.
// Failures are thrown as FileServiceError with the codes of UploaderError.h.
class FileSystem : public FirmwareSource {
public:
    virtual std::unique_ptr<TextStream> OpenTextFile(const QString &path) = 0;
    // Create or replace.
    virtual std::unique_ptr<TextWriter> CreateTextFile(const QString &path) = 0;
    // The bare names of the plain files directly in the folder (no folders).
    virtual QStringList FolderFiles(const QString &folder) = 0;
};
