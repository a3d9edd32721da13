#include "ComPortToolTips.h"

#include "PortLocator.h"

#include <QAction>

QString comPortToolTip(int commPort, const ComPortTarget &target)
{
    const QString name = QStringLiteral("COM%1").arg(commPort);
    QString opens;
    switch (target.source) {
    case ComPortTarget::Source::Link:
        opens = QStringLiteral("Opens %1\n(the link %2 in the program folder)")
                    .arg(target.linkTarget, name);
        break;
    case ComPortTarget::Source::Entry:
        opens = QStringLiteral("Opens %1\n(not a link)").arg(target.opens);
        break;
    case ComPortTarget::Source::BuiltIn:
        opens =
            QStringLiteral("Opens %1\n(no %2 link in the program folder)").arg(target.opens, name);
        break;
    }
    QString presence = QStringLiteral("Not present now");
    if (target.present && target.source == ComPortTarget::Source::Link &&
        target.opens != target.linkTarget)
        presence = QStringLiteral("Present now, as %1").arg(target.opens);
    else if (target.present)
        presence = QStringLiteral("Present now");
    else if (!target.notSerial.isEmpty())
        presence =
            QStringLiteral("Not a serial device: %1 is %2").arg(target.opens, target.notSerial);
    return opens + QLatin1Char('\n') + presence;
}

void updateComPortToolTips(const std::array<QAction *, MenuComPorts> &items,
                           const QString &programFolder)
{
    const QList<ComPortTarget> targets =
        locateComPorts(static_cast<int>(items.size()), programFolder);
    for (int index = 0; index < targets.size(); ++index)
        // The menu takes a tooltip for markup when it looks like some: escaped,
        // a target named "<b>" reads as written, and a long device name stays
        // on its line.
        items[static_cast<std::size_t>(index)]->setToolTip(
            QStringLiteral("<p style='white-space:pre'>%1</p>")
                .arg(comPortToolTip(index + 1, targets[index]).toHtmlEscaped()));
}
