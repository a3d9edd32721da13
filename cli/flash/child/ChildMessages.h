#pragma once

#include "MessageBoxService.h"

class ChildReporter;

// The message boxes of an update child. The update question was asked once
// for all ports before any child started, so the answer here is the one
// given then: Yes, and only to that question. An OK box becomes a message
// for the parent and is dismissed at once.
class ChildMessages final : public MessageBoxService {
public:
    explicit ChildMessages(ChildReporter &reporter) : m_reporter(reporter) {}

    void showOk(const QString &prompt) override;
    bool askYesNo(const QString &prompt) override;

private:
    ChildReporter &m_reporter;
};
