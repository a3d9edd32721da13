#pragma once

#include "MessageBoxService.h"

#include <QStringList>

// Dismisses every box at once and keeps its prompt.
class RecordingMessageBox : public MessageBoxService {
public:
    void showOk(const QString &prompt) override { prompts.append(prompt); }
    bool askYesNo(const QString &prompt) override
    {
        prompts.append(prompt);
        return false;
    }

    QStringList prompts;
};
