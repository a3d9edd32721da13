#pragma once

#include <QString>
#include <QStringList>

// The command line of veltrax-flash.
struct FlashOptions {
    QStringList ports; // as given, in order
    QString firmware;  // empty: the newest firmware file in the folder
    QString folder;    // empty: chosen by chooseToolFolder
    bool yes = false;
    int timeoutSeconds = 600;
    QString logDir; // empty: no transcripts
    bool json = false;
    bool help = false;
    bool version = false;
    bool quiet = false; // no progress: errors and the endings only
    bool check = false; // only the firmware's pre-check; no port is opened
};

struct FlashOptionsResult {
    FlashOptions options;
    QString error; // empty when the command line is usable
};

inline constexpr int MaxTimeoutSeconds = 7 * 24 * 3600;

// Options may be given as "--name VALUE" or "--name=VALUE".
FlashOptionsResult parseFlashOptions(const QStringList &arguments);
QString flashUsage();
