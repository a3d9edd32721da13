#include "ToolFolder.h"

#include "FirmwareDiscovery.h"
#include "Preferences.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool holdsComLink(const QDir &folder)
{
    static const QRegularExpression comName(QStringLiteral("^COM[1-9][0-9]{0,2}$"));
    // System: a dangling link (an adapter unplugged) is still a link.
    const QStringList entries =
        folder.entryList({QStringLiteral("COM*")}, QDir::AllEntries | QDir::System);
    for (const QString &name : entries)
        if (comName.match(name).hasMatch() && QFileInfo(folder.filePath(name)).isSymLink())
            return true;
    return false;
}

bool holdsFirmware(const QString &folder)
{
    QtFileSystem disk;
    try {
        return searchFirmware(disk, folder).FirmwareFound;
    } catch (const UploaderError &) {
        return false; // a folder that cannot be listed holds nothing usable
    }
}

// What in `folder` marks it as a program folder; empty when nothing does.
QString programFolderMark(const QString &folder)
{
    const QFileInfo preferences(preferencesPath(folder));
    if (preferences.exists() || preferences.isSymLink())
        return QStringLiteral("hexcfg.dat");
    if (holdsComLink(QDir(folder)))
        return QStringLiteral("a COMn link");
    if (holdsFirmware(folder))
        return QStringLiteral("a firmware file");
    return {};
}

} // namespace

ToolFolder chooseToolFolder(const QString &given, const QString &currentFolder, const QString &home)
{
    ToolFolder chosen;
    const QString current = QDir::cleanPath(QDir(currentFolder).absolutePath());
    if (!given.isEmpty()) {
        const QFileInfo folder(QDir(current).filePath(given));
        if (!folder.isDir()) {
            chosen.error = QStringLiteral("the folder %1 does not exist").arg(given);
            return chosen;
        }
        chosen.path = QDir::cleanPath(folder.absoluteFilePath());
        chosen.why = QStringLiteral("given with --folder");
        return chosen;
    }
    if (const QString mark = programFolderMark(current); !mark.isEmpty()) {
        chosen.path = current;
        chosen.why = QStringLiteral("the current folder, which holds ") + mark;
        return chosen;
    }
    const QFileInfo veltrax(QDir(home).filePath(QStringLiteral("Veltrax")));
    if (!home.isEmpty() && veltrax.isDir()) {
        chosen.path = QDir::cleanPath(veltrax.absoluteFilePath());
        chosen.why = QStringLiteral("~/Veltrax: the current folder holds no hexcfg.dat, COMn "
                                    "link or firmware file");
        return chosen;
    }
    chosen.path = current;
    chosen.why = QStringLiteral("the current folder: there is no ~/Veltrax");
    return chosen;
}
