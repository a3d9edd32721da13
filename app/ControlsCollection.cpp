#include "ControlsCollection.h"

#include <QAction>
#include <QWidget>

void ControlsCollection::add(Member member)
{
    m_members.push_back(std::move(member));
}

void ControlsCollection::addWidget(QWidget *widget, Kind kind)
{
    add({widget->objectName(), kind, [widget] { return widget->isEnabled(); },
         [widget](bool on) { widget->setEnabled(on); }});
}

void ControlsCollection::addAction(QAction *action, const QString &name)
{
    add({name, Kind::Menu, [action] { return action->isEnabled(); },
         [action](bool on) { action->setEnabled(on); }});
}

void ControlsCollection::saveAndDisable(std::vector<bool> &saved) const
{
    if (saved.size() < m_members.size())
        saved.resize(m_members.size(), false);
    std::size_t slot = 0;
    for (const Member &member : m_members) {
        if (isPassedOver(member.kind))
            continue;
        saved[slot] = member.enabled();
        member.setEnabled(false);
        ++slot;
    }
}

void ControlsCollection::restore(const std::vector<bool> &saved) const
{
    std::size_t slot = 0;
    for (const Member &member : m_members) {
        if (isPassedOver(member.kind))
            continue;
        member.setEnabled(slot < saved.size() && saved[slot]);
        ++slot;
    }
}
