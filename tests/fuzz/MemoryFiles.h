#pragma once

#include "FileSystem.h"

#include <QMap>
#include <QStringList>

// Files held in memory, read line by line exactly as the disk service reads
// them: a line ends at LF, a CR right before the LF is dropped, a last line
// may lack its end. Writing replaces a file only when the writer is closed.
class MemoryFiles final : public FileSystem {
public:
    QMap<QString, QByteArray> files;
    QStringList listing; // what FolderFiles lists, whichever folder is asked

    bool FileExists(const QString &path) override;
    qint64 FileSize(const QString &path) override;
    std::unique_ptr<TextStream> OpenTextFile(const QString &path) override;
    std::unique_ptr<TextWriter> CreateTextFile(const QString &path) override;
    QStringList FolderFiles(const QString &folder) override;
};

// The lines a text stream yields for the content, with the same rule.
QList<QByteArray> textLines(const QByteArray &content);
