#pragma once

#include "FakeMessages.h"
#include "WindowOperations.h"

// The main window as the dialogue sees it, recording what was done to it.
class FakeWindow : public WindowOperations {
public:
    QStringList statuses{QStringLiteral("Valid file selected.")};
    QString log, sentLine = QStringLiteral("Text2");
    double maximum = 100, value = 0;
    QStringList holds; // the sequence's hold on the window, in call order
    bool running = false;
    QString path = QStringLiteral("/opt/veltrax/veltrax_01022024.hex");
    UpdateStage stage = UpdateStage::NotStarted;

    QString status() const { return statuses.last(); }

    void setStatus(const QString &text) override { statuses << text; }
    void appendLog(const QString &entry) override { log += entry; }
    void clearLog() override { log.clear(); }
    void setSentLine(const QString &line) override { sentLine = line; }
    void setProgressRange(double, double hi) override { maximum = hi; }
    void setProgressValue(double v) override { value = v; }
    double progressValue() const override { return value; }
    void processEvents() override {}
    void DisableControls() override { holds << QStringLiteral("Disable"); }
    void RestoreControls() override { holds << QStringLiteral("Restore"); }
    void ApplyDebugView() override { holds << QStringLiteral("ApplyDebugView"); }
    void showStopButton(bool shown) override { holds << (shown ? "Stop" : "Send"); }
    bool keepRunning() const override { return running; }
    void setKeepRunning(bool v) override { running = v; }
    QString firmwarePath() const override { return path; }
    void reachStage(UpdateStage reached) override { stage = reached; }
};
