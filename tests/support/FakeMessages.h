#pragma once

#include "MessageBoxService.h"

#include <QStringList>

// The message box: dismissed at once, every prompt kept, Yes/No answered as set.
class FakeMessages : public MessageBoxService {
public:
    bool answerYes = true;
    QStringList shown;

    void showOk(const QString &prompt) override { shown << prompt; }
    bool askYesNo(const QString &prompt) override { return (shown << prompt, answerYes); }
};
