#pragma once

#include <QString>

class FileSystem;

// The result of the search for the firmware file.
struct FirmwareSearch {
    bool FirmwareFound = false;
    QString FirmwareFileName; // bare name as the folder lists it; empty when none was taken
};

// Looks at every plain file directly in the folder and takes the newest one
// named veltrax_MMDDYYYY.hex (two-digit year, then month, then day; the first
// met wins a tie). Throws FileServiceError when the folder is unusable or
// cannot be listed.
FirmwareSearch searchFirmware(FileSystem &files, const QString &programFolder);
