#include "ComLink.h"

#include "FileKind.h"
#include "PortLocator.h"
#include "UploaderError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int codeFor(int error)
{
    return error == EACCES || error == EPERM || error == EROFS ? ErrorCode::PermissionDenied
                                                               : ErrorCode::FileAccessError;
}

} // namespace

ComLinkResult makeComLink(int commPort, const SerialDevice &device, const QString &folder)
{
    if (commPort < 1 || commPort > MenuComPorts)
        throw UploaderError(ErrorCode::NoSuchPort,
                            QStringLiteral("there is no COM%1: the ports are COM1 to COM%2")
                                .arg(commPort)
                                .arg(MenuComPorts));
    if (!QFileInfo(folder).isDir())
        throw UploaderError(ErrorCode::PathNotFound,
                            QStringLiteral("the program folder %1 does not exist").arg(folder));

    ComLinkResult result;
    result.entry = comPortEntry(commPort, folder);
    const QFileInfo entry(result.entry);
    if (entry.isSymLink())
        result.previous = entry.symLinkTarget();
    else if (entry.exists())
        throw UploaderError(ErrorCode::FileAccessError,
                            QStringLiteral("%1 is %2, not a link: it is left as it is; move it "
                                           "away to link COM%3")
                                .arg(result.entry, fileKind(result.entry))
                                .arg(commPort));

    result.bareDevicePath = device.stableName.isEmpty();
    result.target = result.bareDevicePath ? device.systemLocation : device.stableName;
    if (result.previous == result.target)
        return result;

    const QByteArray fresh =
        QFile::encodeName(QStringLiteral("%1.new-%2").arg(result.entry).arg(::getpid()));
    ::unlink(fresh.constData()); // a leftover of an interrupted run
    if (::symlink(QFile::encodeName(result.target).constData(), fresh.constData()) != 0) {
        const int error = errno;
        throw UploaderError(
            codeFor(error),
            QStringLiteral("cannot make a link in %1: %2").arg(folder, systemError(error)));
    }
    if (std::rename(fresh.constData(), QFile::encodeName(result.entry).constData()) != 0) {
        const int error = errno;
        ::unlink(fresh.constData());
        throw UploaderError(
            codeFor(error),
            QStringLiteral("cannot replace %1: %2").arg(result.entry, systemError(error)));
    }
    return result;
}
