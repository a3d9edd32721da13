#pragma once

#include <QLoggingCategory>

// Port failures with their detail (which port, what the driver said); the
// operator only ever sees the fixed texts.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
