#include "QtMessageBoxService.h"

#include <QMessageBox>

void QtMessageBoxService::showOk(const QString &prompt)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, prompt, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtMessageBoxService::askYesNo(const QString &prompt)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, prompt,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    // Closing the box or pressing Escape counts as No.
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
