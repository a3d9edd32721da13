#pragma once

#include <QString>

// The exit status of veltrax-flash. Each update's own code comes from the
// table of endings (UpdateEndings.h), by the stage it reached; these are the
// refusals before any update begins. With several ports the highest code is
// the exit status.
namespace FlashExit {
constexpr int Success = 0;
constexpr int Refused = 1;    // usage error, answered no, or no terminal to ask on
constexpr int NoFirmware = 2; // no firmware file or the file refused; nothing sent

// The table as --help and the documentation give it.
QString table();
} // namespace FlashExit
