#pragma once

#include <QString>
#include <stdexcept>

// Every failure that a procedure passes on to its caller instead of handling it.
// The code and description are what start-up shows after "Prefs Error: ", and
// what the debug log and tests look at; only start-up, shutdown, OpenPort,
// ClosePort and the update sequence catch these.
class UploaderError : public std::runtime_error {
public:
    UploaderError(int code, const QString &description)
        : std::runtime_error(description.toStdString()), m_code(code), m_description(description)
    {
    }

    int code() const noexcept { return m_code; }
    const QString &description() const noexcept { return m_description; }

private:
    int m_code;
    QString m_description;
};

// The serial device failed under us: the adapter was pulled, the port vanished,
// a read or a write was refused.
class SerialLinkError : public UploaderError {
public:
    using UploaderError::UploaderError;
};

// A file or folder could not be found, read, listed or written.
class FileServiceError : public UploaderError {
public:
    using UploaderError::UploaderError;
};

// The one table of failure codes. The numbers are those a technician may
// already know from older Windows tools; each kind of failure has its own.
namespace ErrorCode {
constexpr int InvalidArgument = 5;    // a line too short to hold its value
constexpr int Overflow = 6;           // a number that does not fit 16 bits
constexpr int FileTooLarge = 7;       // a file too large to be held in memory
constexpr int TypeMismatch = 13;      // a value that is no number
constexpr int FileNotFound = 53;      // the file does not exist
constexpr int DeviceIoError = 57;     // the serial device failed
constexpr int ReadPastEnd = 62;       // a line read where none is left
constexpr int PermissionDenied = 70;  // the file or folder may not be read or written
constexpr int FileAccessError = 75;   // the file could not be opened, read or written
constexpr int PathNotFound = 76;      // the folder cannot be found or listed
constexpr int InvalidPropertyValue = 380;  // line settings the port cannot take
constexpr int NoSuchPort = 340;       // a port number with no COM menu item
constexpr int NoSuchMenuItem = 9;     // a Debug menu index with no item
} // namespace ErrorCode
