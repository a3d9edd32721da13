#pragma once

#include <QString>

// The modal message box. The operator must dismiss it before the program goes
// on; it has no icon and carries the title "Veltrax Firmware Uploader". The
// serial link itself uses it to name a port that cannot be opened, so it is
// declared at the bottom layer; the window layer provides the Qt box, tests a
// scripted one.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;

    // OK button only; returns when dismissed.
    virtual void showOk(const QString &prompt) = 0;

    // Yes and No, Yes the default button. True only when Yes was pressed.
    virtual bool askYesNo(const QString &prompt) = 0;
};

inline const QString ApplicationTitle = QStringLiteral("Veltrax Firmware Uploader");
