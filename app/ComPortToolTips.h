#pragma once

#include "PortLocator.h"

#include <QString>
#include <array>

class QAction;
struct ComPortTarget;

// The "Com Port" items' tooltips: what each COMn opens in the program folder
// and whether that device is there now, so that a technician can tell the
// adapter's port from the others before picking one.

// The tooltip of COMn as plain text: what it opens, why, and whether it is there.
QString comPortToolTip(int commPort, const ComPortTarget &target);

// Sets every item's tooltip afresh (index 1 first). A device name is shown as
// it is written, never taken for markup.
void updateComPortToolTips(const std::array<QAction *, MenuComPorts> &items,
                           const QString &programFolder);
