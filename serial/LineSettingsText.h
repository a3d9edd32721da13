#pragma once

#include "ByteDevice.h"

#include <QString>
#include <optional>

// The settings text of the port control, "19200,N,8,1": speed, parity (N, E
// or O), data bits (5 to 8), stop bits (1 or 2). Empty when the text is not of
// that form.
std::optional<LineSettings> parseSettingsText(const QString &text);

QString settingsText(const LineSettings &settings);
