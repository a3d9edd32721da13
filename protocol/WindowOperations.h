#pragma once

#include "UpdateEndings.h"

#include <QString>

// What the dialogue with the instrument may do to the main window, and nothing
// more: Form1 implements it, protocol tests record it.
class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    // The status line lblStatus.
    virtual void setStatus(const QString &text) = 0;

    // The debug log Text1: append an entry at the end (constant time), or empty it.
    virtual void appendLog(const QString &entry) = 0;
    virtual void clearLog() = 0;

    // Text2: the firmware line being sent.
    virtual void setSentLine(const QString &line) = 0;

    // pbFile. The value reads back exactly as it was set, even where the bar
    // itself can only show it clamped to its range.
    virtual void setProgressRange(double minimum, double maximum) = 0;
    virtual void setProgressValue(double value) = 0;
    virtual double progressValue() const = 0;

    // Let the window process its pending events once.
    virtual void processEvents() = 0;

    // The update sequence's hold on the window.
    virtual void DisableControls() = 0;
    virtual void RestoreControls() = 0;
    virtual void ApplyDebugView() = 0;
    // True: btnSend hidden, btnStop shown and enabled. False: the reverse.
    virtual void showStopButton(bool running) = 0;

    // Form1's KeepRunning: set by the transfer, cleared only by Stop.
    virtual bool keepRunning() const = 0;
    virtual void setKeepRunning(bool value) = 0;

    // The firmware file that start-up found, with the program folder in front.
    virtual QString firmwarePath() const = 0;

    // The update has reached `stage`. The window shows it by its status text
    // alone; a front end that must tell what the instrument holds keeps it.
    virtual void reachStage(UpdateStage) {}
};
