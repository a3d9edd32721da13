#pragma once

#include "SimulatedInstrument.h"

#include <QString>
#include <map>

// The transcripts in `folder`, by the port line of each.
std::map<QString, QString> transcriptsByPort(const QString &folder);
