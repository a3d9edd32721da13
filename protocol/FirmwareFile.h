#pragma once

#include "HexLine.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class FileSystem;
class TextStream;

// The firmware file opened for reading, closed again whichever way the
// transfer ends. A file-service failure comes back as a failed read instead of
// an exception, so a file that goes bad half-way ends the update like a
// missing one rather than with an exception in flight.
class FirmwareFile {
public:
    struct Line {
        QByteArray text; // as read, without its line end
        HexLine hex;
    };

    FirmwareFile(FileSystem &files, const QString &path);
    ~FirmwareFile();
    FirmwareFile(const FirmwareFile &) = delete;
    FirmwareFile &operator=(const FirmwareFile &) = delete;

    bool isOpen() const { return m_stream != nullptr; }
    // True also when the end could not be determined; failed() tells.
    bool atEnd();
    // Empty when the line cannot be read or holds a pair that is not hexadecimal.
    std::optional<Line> readLine();
    bool failed() const { return m_failed; }
    void close();

private:
    std::unique_ptr<TextStream> m_stream;
    bool m_failed = false;
};

// What the transfer will send, checked before the instrument erases its flash:
// at least one line, and every pair that would be sent hexadecimal.
bool isSendableFirmware(FileSystem &files, const QString &path);

// The file's length in bytes; empty when it cannot be had.
std::optional<qint64> firmwareFileSize(FileSystem &files, const QString &path);

// False also when the file service cannot tell.
bool firmwareFileExists(FileSystem &files, const QString &path);
