#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The firmware every instrument of a run receives: read once, checked once,
// its SHA-256 taken once. The children get these bytes, not the file.
struct CheckedFirmware {
    QString name; // the file's bare name
    QString path; // as the update names it
    QByteArray bytes;
    QString sha256; // lower-case hexadecimal
};

struct FirmwareChoice {
    std::optional<CheckedFirmware> firmware;
    QString problem; // why there is none
};

// `file` as given, or else the newest firmware file in `folder` by the
// window's own search; then the update's own check on the bytes read.
FirmwareChoice chooseFirmware(const QString &file, const QString &folder);
