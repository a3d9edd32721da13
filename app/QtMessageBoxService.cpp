#include "QtMessageBoxService.h"

#include <QMessageBox>

// A prompt may carry a file name or a failure's description: it is shown as
// written (plain text), never read as markup.

void QtMessageBoxService::showOk(const QString &prompt)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, prompt, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtMessageBoxService::askYesNo(const QString &prompt)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, prompt,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    // Closing the box or pressing Escape counts as No.
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
