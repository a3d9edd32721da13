#pragma once

#include <QString>
#include <optional>

class FileSystem;

// hexcfg.dat in the program folder: line 1 "COM=" and the port number, line 2
// "DBG=0" or "DBG=1". Only the line positions count; the first four characters
// of a line are never looked at.
struct StoredPreferences {
    int comPort = 1;                // as converted: a 16-bit number, not yet checked against 1..16
    std::optional<bool> debugOff;   // absent when the file has no second line
};

// Empty for an unusable program folder (see ProgramFolder.h).
QString preferencesPath(const QString &programFolder);

// Reads the file as start-up does. Throws UploaderError with a code of
// ErrorCode for every way reading can fail (folder unusable, file missing,
// read past the end, line too short or over 4096 characters, not a number,
// out of range). Of each line at most 4096 characters and its end are read.
StoredPreferences readPreferences(FileSystem &files, const QString &programFolder);

// Writes both lines, CR LF each, as a new regular file in the folder (a link
// in its place is replaced, not written through); the old file stays whole
// when writing fails. Throws FileServiceError, also for an unusable folder.
void writePreferences(FileSystem &files, const QString &programFolder, int comPort, bool debugOff);
