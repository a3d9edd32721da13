#pragma once

#include "FileSystem.h"

#include <QMap>
#include <functional>

// Files as byte arrays, with failures injected where a disk could fail.
class MemoryFileSystem : public FileSystem {
public:
    QMap<QString, QByteArray> files;
    QStringList paths; // every path asked about, in order
    bool sizeFails = false;
    int failOpen = 0;                       // this OpenTextFile (1-based) throws
    int failReadOpen = 0, failReadLine = 0; // this ReadLine of that opening throws
    bool failAtEnd = false;                 // AtEndOfStream before that line throws instead
    std::function<void(int opening)> beforeOpen;
    int openings = 0;
    int openStreams = 0; // opened and not yet closed

    bool FileExists(const QString &path) override;
    qint64 FileSize(const QString &path) override;
    std::unique_ptr<TextStream> OpenTextFile(const QString &path) override;
    std::unique_ptr<TextWriter> CreateTextFile(const QString &path) override;
    QStringList FolderFiles(const QString &folder) override;
};
