#pragma once

#include "FileSystem.h"

// The file-system service on the local disk. Text is 8-bit, one character per
// byte; lines are read up to CR LF or LF and written with CR LF. A written file
// is a new regular file that replaces the old entry (a symbolic link included,
// never written through) only when it is complete, so a failed write never
// leaves a half-written file behind.
class QtFileSystem final : public FileSystem {
public:
    bool FileExists(const QString &path) override;
    std::unique_ptr<TextStream> OpenTextFile(const QString &path) override;
    QByteArray ReadFile(const QString &path, qint64 maxBytes) override;
    std::unique_ptr<TextWriter> CreateTextFile(const QString &path) override;
    // In name order (by character code), so that a tie between two firmware
    // files is settled the same way on every run. Names that do not decode
    // in the system's encoding are left out: they could not be opened again.
    QStringList FolderFiles(const QString &folder) override;
};
