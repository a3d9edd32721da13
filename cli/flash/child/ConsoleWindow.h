#pragma once

#include "WindowOperations.h"

#include <functional>

class ChildReporter;

// The window as an update child shows it: the status line, the debug log
// and the progress go to the parent as events; the sent line is counted,
// not shown; the hold on the controls has nothing to hold. KeepRunning and
// the progress value live here, as they live in the window.
class ConsoleWindow final : public WindowOperations {
public:
    ConsoleWindow(ChildReporter &reporter, QString firmwarePath, qint64 linesInFile);

    void setStatus(const QString &text) override;
    void appendLog(const QString &entry) override;
    void clearLog() override {}
    void setSentLine(const QString &line) override;
    void setProgressRange(double minimum, double maximum) override;
    void setProgressValue(double value) override;
    double progressValue() const override { return m_value; }
    void processEvents() override;
    void DisableControls() override {}
    void RestoreControls() override {}
    void ApplyDebugView() override {}
    void showStopButton(bool) override {}
    bool keepRunning() const override { return m_keepRunning; }
    void setKeepRunning(bool value) override;
    QString firmwarePath() const override { return m_firmwarePath; }
    void reachStage(UpdateStage stage) override;

    // Called when the transfer sets KeepRunning again after a Stop: the Stop
    // was overridden.
    void onStopOverridden(std::function<void()> handler) { m_overridden = std::move(handler); }

    QString status() const { return m_status; }
    qint64 linesSent() const { return m_linesSent; }
    UpdateStage stage() const { return m_stage; }

private:
    void reportProgress();

    ChildReporter &m_reporter;
    const QString m_firmwarePath;
    const qint64 m_linesInFile;
    QString m_status;
    bool m_statusShown = false;
    bool m_keepRunning = false;
    bool m_stopPressed = false;
    bool m_transferring = false;
    UpdateStage m_stage = UpdateStage::NotStarted;
    qint64 m_linesSent = 0;
    double m_maximum = 0;
    double m_value = 0;
    std::function<void()> m_overridden;
};
