#pragma once

#include "FuzzCheck.h"

#include <QByteArray>

inline void require(bool holds, const char *invariant, const QByteArray &detail)
{
    require(holds, invariant, std::string_view(detail.constData(), detail.size()));
}
