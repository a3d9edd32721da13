#include "ProgramFolder.h"

#include "UploaderError.h"

#include <QCoreApplication>
#include <QFile>

#ifdef Q_OS_LINUX
#include <climits>
#include <unistd.h>
#endif

namespace {

// The executable's own path as the kernel holds it, byte for byte; empty when
// it cannot be read.
QByteArray nativeExecutablePath()
{
#ifdef Q_OS_LINUX
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof path)
        return QByteArray(path, length);
    return {};
#else
    return QFile::encodeName(QCoreApplication::applicationFilePath());
#endif
}

} // namespace

QString usableFolderPath(const QByteArray &nativePath)
{
    const QString path = QFile::decodeName(nativePath);
    if (nativePath.isEmpty() || QFile::encodeName(path) != nativePath ||
        !QDir::isAbsolutePath(path))
        return {};
    return QDir::cleanPath(path);
}

QString executableFolder()
{
    const QByteArray executable = nativeExecutablePath();
    const qsizetype slash = executable.lastIndexOf('/');
    if (slash < 0)
        return {};
    return usableFolderPath(slash == 0 ? QByteArray("/") : executable.left(slash));
}

void requireUsableFolder(const QString &folder)
{
    if (!isUsableFolder(folder)) {
        throw FileServiceError(ErrorCode::PathNotFound,
                               QStringLiteral("Path not found (the program folder's name "
                                              "cannot be read)"));
    }
}
