#pragma once

// Program-wide state shared by the window's procedures.
namespace globals {

// Nesting depth of DisableControls: only the outermost DisableControls and
// RestoreControls act, inner calls only count. Start-up sets it to 0.
extern int DisableDepth;

} // namespace globals
