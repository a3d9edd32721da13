#pragma once

#include "UploaderError.h"

#include <QDir>
#include <QFileDevice>
#include <QString>

// The disk's failures as the file service passes them on: a code and "what: path".

[[noreturn]] inline void failOnFile(int code, const QString &what, const QString &path)
{
    throw FileServiceError(code,
                           QStringLiteral("%1: %2").arg(what, QDir::toNativeSeparators(path)));
}

// A refused permission, or any other failure to open, read or write.
inline int fileErrorCode(QFileDevice::FileError error)
{
    return error == QFileDevice::PermissionsError ? ErrorCode::PermissionDenied
                                                  : ErrorCode::FileAccessError;
}
