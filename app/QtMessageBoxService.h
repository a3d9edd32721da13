#pragma once

#include "MessageBoxService.h"

class QWidget;

// The message box on screen: no icon, the application title, modal until the
// operator dismisses it.
class QtMessageBoxService final : public MessageBoxService {
public:
    explicit QtMessageBoxService(QWidget *parent = nullptr) : m_parent(parent) {}

    // The window the boxes are centred on; none before it exists.
    void setParentWindow(QWidget *parent) { m_parent = parent; }

    void showOk(const QString &prompt) override;
    bool askYesNo(const QString &prompt) override;

private:
    QWidget *m_parent = nullptr;
};
