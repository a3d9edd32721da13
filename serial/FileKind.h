#pragma once

#include <QString>

// What is at `path`, its links followed, as a technician would name it: "a
// folder", "a regular file", "a FIFO", "a socket", "a block device", "a
// character device"; empty when nothing is there (a dangling link included).
// For messages that must say why a name cannot serve, not just that it can't.
QString fileKind(const QString &path);

// True for a character device that a serial-line driver serves (a UART, a
// USB serial adapter, a pseudo-terminal), judged by its device number against
// the system's table of terminal drivers without opening it: opening a serial
// port can reset the board on the other end. Where the table cannot be read,
// every character device counts.
bool isSerialDevice(const QString &path);
