#pragma once

#include "FirmwareSource.h"

// The firmware as the parent process checked it, held in memory under its
// path: the update reads exactly the bytes that were checked, whatever
// happens to the file on disk meanwhile. Any other path does not exist.
class HeldFirmware final : public FirmwareSource {
public:
    HeldFirmware(QString path, QByteArray contents);

    bool FileExists(const QString &path) override { return path == m_path; }
    QByteArray ReadFile(const QString &path, qint64 maxBytes) override;

    // The lines the transfer will send, for the progress the parent shows.
    qint64 lineCount() const;

private:
    const QString m_path;
    const QByteArray m_contents;
};
