#pragma once

#include <QString>

// The folder veltrax-flash and veltrax-ports work in: where COMn links,
// hexcfg.dat and firmware files are found. One rule for both tools, so that a
// link made by one is the link the other opens:
//   1. --folder, when given (relative to the current folder);
//   2. else the current folder, when it holds hexcfg.dat, a COMn link or a
//      firmware file;
//   3. else ~/Veltrax, the window's folder, when it exists;
//   4. else the current folder.
// The window itself always uses its own folder, the executable's.
struct ToolFolder {
    QString path;  // absolute and clean; empty when `error` is set
    QString why;   // how the rule chose it, for the line that names it
    QString error; // a --folder that is no folder
};

ToolFolder chooseToolFolder(const QString &given, const QString &currentFolder,
                            const QString &home);
