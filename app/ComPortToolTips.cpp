#include "ComPortToolTips.h"

#include "PortLocator.h"

#include <QAction>
#include <QTextDocument>

QString comPortToolTip(int commPort, const ComPortTarget &target)
{
    const QString name = QStringLiteral("COM%1").arg(commPort);
    QString opens;
    switch (target.source) {
    case ComPortTarget::Source::Link:
        opens = QStringLiteral("Opens %1 (the link %2 in the program folder)")
                    .arg(target.linkTarget, name);
        break;
    case ComPortTarget::Source::Entry:
        opens = QStringLiteral("Opens %1 (not a link)").arg(target.opens);
        break;
    case ComPortTarget::Source::BuiltIn:
        opens =
            QStringLiteral("Opens %1 (no %2 link in the program folder)").arg(target.opens, name);
        break;
    }
    QString presence = QStringLiteral("Not present now");
    if (target.present && target.source == ComPortTarget::Source::Link &&
        target.opens != target.linkTarget)
        presence = QStringLiteral("Present now, as %1").arg(target.opens);
    else if (target.present)
        presence = QStringLiteral("Present now");
    return opens + QLatin1Char('\n') + presence;
}

void updateComPortToolTips(const std::array<QAction *, 16> &items, const QString &programFolder)
{
    const QList<ComPortTarget> targets =
        locateComPorts(static_cast<int>(items.size()), programFolder);
    for (int index = 0; index < targets.size(); ++index)
        // The menu shows a tooltip as markup when it looks like some; converted,
        // a target named "<b>" reads as written.
        items[static_cast<std::size_t>(index)]->setToolTip(Qt::convertFromPlainText(
            comPortToolTip(index + 1, targets[index]), Qt::WhiteSpaceNormal));
}
