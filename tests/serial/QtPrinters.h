#pragma once

#include <QString>
#include <ostream>

// Readable failure messages for Qt texts and lists of them.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
