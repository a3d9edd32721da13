#pragma once

class QApplication;

// The program: the main window on the real serial line, disk and message box,
// started as the window system would load it. Returns the event loop's status.
int runUploader(QApplication &app);

// Ends the process at once with status 0: no later event handler, and no
// further step of an update in progress, runs.
[[noreturn]] void endProgramAtOnce();
