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

QString preferencesPath(const QString &programFolder);

// Reads the file as start-up does. Throws UploaderError with a code of
// ErrorCode for every way reading can fail (file missing, read past the end,
// line too short, not a number, out of range).
StoredPreferences readPreferences(FileSystem &files, const QString &programFolder);

// Writes both lines, CR LF each; the old file stays whole when writing fails.
// Throws FileServiceError.
void writePreferences(FileSystem &files, const QString &programFolder, int comPort, bool debugOff);
