#pragma once

#include "FileSystem.h"

#include <QByteArray>
#include <QString>

// A file system that holds one read-only file, in memory: the firmware as
// the parent process checked it. The update reads it through the same
// operations as a file on disk, line ends and all, so its own check and its
// transfer see exactly the bytes that were checked, whatever happens to the
// file on disk meanwhile. Everything else does not exist or is refused.
class OneFileSystem final : public FileSystem {
public:
    OneFileSystem(QString path, QByteArray contents);

    bool FileExists(const QString &path) override;
    qint64 FileSize(const QString &path) override;
    QByteArray ReadFile(const QString &path, qint64 maxBytes) override;
    std::unique_ptr<TextStream> OpenTextFile(const QString &path) override;
    std::unique_ptr<TextWriter> CreateTextFile(const QString &path) override;
    QStringList FolderFiles(const QString &folder) override;

    // The lines a stream yields from the contents.
    qint64 lineCount() const;

private:
    void requireTheFile(const QString &path) const;

    QString m_path;
    QByteArray m_contents;
};
