#include "ReplacingFileWriter.h"

#include "FileFailure.h"
#include "UploaderError.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int NameAttempts = 16;

std::filesystem::path nativePath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// A regular file keeps its mode when it is replaced; anything else (nothing,
// a link) gives way to a file with the usual mode, less the process's umask.
QFile::Permissions modeFor(const QFileInfo &target)
{
    if (target.isFile() && !target.isSymLink())
        return target.permissions();
    return QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup |
           QFile::ReadOther | QFile::WriteOther;
}

} // namespace

ReplacingFileWriter::~ReplacingFileWriter()
{
    if (!m_new.fileName().isEmpty()) {
        m_new.close();
        m_new.remove();
    }
}

void ReplacingFileWriter::open()
{
    const QFileInfo target(m_path);
    // A relative path would be resolved against the working directory.
    if (!QDir::isAbsolutePath(m_path) || !target.absoluteDir().exists())
        failOnFile(ErrorCode::PathNotFound, QStringLiteral("Path not found"), m_path);
    // A file its owner has made read-only stays as it is.
    if (target.isFile() && !target.isSymLink() && !target.isWritable())
        failOnFile(ErrorCode::PermissionDenied, QStringLiteral("Permission denied"), m_path);

    const QFile::Permissions mode = modeFor(target);
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        m_new.setFileName(
            QStringLiteral("%1.%2.new")
                .arg(m_path,
                     QString::number(QRandomGenerator::global()->generate() & 0xffffff, 36)));
        if (m_new.open(QIODevice::WriteOnly | QIODevice::NewOnly, mode))
            return;
        const QString taken = m_new.fileName();
        const QFileDevice::FileError error = m_new.error();
        const QString why = m_new.errorString();
        m_new.setFileName(QString()); // not ours: never removed
        if (!QFileInfo::exists(taken))
            failOnFile(fileErrorCode(error), why, m_path);
    }
    failOnFile(ErrorCode::FileAccessError, QStringLiteral("No free name for a new file"), m_path);
}

void ReplacingFileWriter::abandon(int code, const QString &what)
{
    m_new.close();
    m_new.remove();
    m_new.setFileName(QString());
    failOnFile(code, what, m_path);
}

void ReplacingFileWriter::WriteLine(const QByteArray &text)
{
    if (!m_new.isOpen())
        failOnFile(ErrorCode::FileAccessError, QStringLiteral("Stream already closed"), m_path);
    const QByteArray line = text + "\r\n";
    if (m_new.write(line) != line.size())
        abandon(fileErrorCode(m_new.error()), m_new.errorString());
}

void ReplacingFileWriter::Close()
{
    if (!m_new.isOpen())
        return;
    // Every byte on the disk before the name changes: a full disk or a crash
    // must not leave an empty or short file in place of the old one.
    if (!m_new.flush())
        abandon(fileErrorCode(m_new.error()), m_new.errorString());
#ifdef Q_OS_UNIX
    if (::fsync(m_new.handle()) != 0)
        abandon(ErrorCode::FileAccessError, QStringLiteral("Could not write to the disk"));
#endif
    m_new.close();
    if (m_new.error() != QFileDevice::NoError)
        abandon(fileErrorCode(m_new.error()), m_new.errorString());

    // rename() replaces the directory entry itself: a link is not followed.
    std::error_code renaming;
    std::filesystem::rename(nativePath(m_new.fileName()), nativePath(m_path), renaming);
    if (renaming) {
        const bool refused = renaming == std::errc::permission_denied ||
                             renaming == std::errc::operation_not_permitted;
        abandon(refused ? ErrorCode::PermissionDenied : ErrorCode::FileAccessError,
                QString::fromStdString(renaming.message()));
    }
    m_new.setFileName(QString());
}
