#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

// The program folder: the folder that holds the executable. Every file the
// program reads or writes is named by joining a name to it.
//
// A folder that the program cannot name exactly is unusable, and its path is
// the empty text: a relative path, or one whose bytes do not come back the
// same after decoding and encoding in the file-name encoding (a name written
// in another encoding than the system's). A mangled name would reach other
// files than the folder's, or the root of the file system.
QString usableFolderPath(const QByteArray &nativePath);

// The executable's folder as the system names it, through usableFolderPath().
QString executableFolder();

// False for the empty path of an unusable folder: nothing is looked for in it,
// and it is never taken for the working directory.
inline bool isUsableFolder(const QString &folder)
{
    return QDir::isAbsolutePath(folder);
}

// Throws FileServiceError (PathNotFound) for an unusable folder: it holds no
// preferences and no firmware, and takes none.
void requireUsableFolder(const QString &folder);
