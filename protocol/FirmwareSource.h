#pragma once

#include <QByteArray>
#include <QString>

// Where the updater gets its firmware file: whether it is there, and all of
// it at once. Failures are thrown as FileServiceError with the codes of
// UploaderError.h.
class FirmwareSource {
public:
    virtual ~FirmwareSource() = default;
    virtual bool FileExists(const QString &path) = 0;
    // The whole file as it is now, read once. A file larger than maxBytes
    // throws FileServiceError (FileTooLarge): judged by its size before
    // anything is read, and reading stops at the bound if it grows meanwhile.
    virtual QByteArray ReadFile(const QString &path, qint64 maxBytes) = 0;
};
