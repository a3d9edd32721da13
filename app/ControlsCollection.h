#pragma once

#include <QString>
#include <functional>
#include <vector>

class QAction;
class QWidget;

// The window's Controls collection: every element, menu and menu item in one
// fixed order, each with its kind. DisableControls and RestoreControls walk it
// as a whole, so an element added to the window is held and released with the
// others without anyone listing it twice.
class ControlsCollection {
public:
    enum class Kind { Frame, Label, CommandButton, TextBox, ProgressBar, Menu };

    struct Member {
        QString name;
        Kind kind;
        std::function<bool()> enabled;
        std::function<void(bool)> setEnabled;
    };

    void add(Member member);
    void addWidget(QWidget *widget, Kind kind);
    // A menu (its title action) or a menu item.
    void addAction(QAction *action, const QString &name);

    int count() const { return static_cast<int>(m_members.size()); }
    const Member &at(int index) const { return m_members.at(index); }

    // Frames and labels take no input and are passed over.
    static bool isPassedOver(Kind kind) { return kind == Kind::Frame || kind == Kind::Label; }

    // Saves the enabled state of every member that takes input, one slot each in
    // collection order, and disables it.
    void saveAndDisable(std::vector<bool> &saved) const;
    // Gives every member that takes input the state saved in its slot.
    void restore(const std::vector<bool> &saved) const;

private:
    std::vector<Member> m_members;
};
