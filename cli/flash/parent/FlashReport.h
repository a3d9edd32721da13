#pragma once

#include <QByteArray>
#include <QString>

// The outcome of one instrument's update, as --json prints it.
struct FlashReport {
    QString port; // exactly as given on the command line
    QString device;
    QString firmware; // the file's name
    QString sha256;
    QString status; // the last status text, as the window would show it
    int exitCode = 0;
    qint64 linesSent = 0;
    double seconds = 0;
    QString instrument = QStringLiteral("unchanged"); // what it holds now
    bool started = true; // false: refused or never begun, nothing sent
};

// One line of JSON, without its line end: port, device, firmware, sha256,
// result ("success", "failure" or "not started"), status, exit_code,
// instrument, lines_sent, seconds, and the version of veltrax-flash that
// wrote it.
QByteArray jsonLine(const FlashReport &report);
