#pragma once

#include <QString>

// The question that "Send File" asks before anything goes to the instrument.
// Every front end that starts an update asks these words, unchanged.
inline const QString UpdateQuestion = QStringLiteral(
    "Update Veltrax?  This will also reset all parameters under the PROGRAM menu (E1) to "
    "factory defaults.");
