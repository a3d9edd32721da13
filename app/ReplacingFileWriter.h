#pragma once

#include "FileSystem.h"

#include <QFile>
#include <QString>

// A text file written under a new name beside its target and renamed over the
// target's own directory entry on Close. Whatever stood under that name, a
// symbolic link included, is replaced by a new regular file: a link's target is
// never opened for writing. Until Close succeeds the old entry stays as it was,
// and a writer dropped unclosed, or failing, leaves no part of a file behind.
class ReplacingFileWriter final : public TextWriter {
public:
    explicit ReplacingFileWriter(const QString &path) : m_path(path) {}
    ~ReplacingFileWriter() override;

    // Throws FileServiceError when the new file cannot be made: the path is
    // not absolute, the folder is missing or read-only, or a regular file in
    // the target's place is read-only.
    void open();

    void WriteLine(const QByteArray &text) override;
    void Close() override;

private:
    [[noreturn]] void abandon(int code, const QString &what);

    QString m_path;
    QFile m_new;
};
