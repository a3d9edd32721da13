#pragma once

#include "MessageBoxService.h"
#include "WindowOperations.h"

#include <QStringList>

// The main window and its message box as the dialogue sees them: the last
// status and how often one was set, the progress bar, the messages shown and
// the sequence's hold on the window. The answer to the question is Yes.
class RecordingWindow final : public WindowOperations, public MessageBoxService {
public:
    explicit RecordingWindow(QString path) : m_path(std::move(path)) {}

    QString status;
    int statusChanges = 0;
    QStringList messages;
    int disabled = 0;
    int restored = 0;
    QList<bool> stopShown;
    double progressMaximum = -1;
    double progress = 0;

    void setStatus(const QString &text) override
    {
        status = text;
        ++statusChanges;
    }
    void appendLog(const QString &) override {}
    void clearLog() override {}
    void setSentLine(const QString &) override {}
    void setProgressRange(double, double maximum) override { progressMaximum = maximum; }
    void setProgressValue(double value) override { progress = value; }
    double progressValue() const override { return progress; }
    void processEvents() override {}
    void DisableControls() override { ++disabled; }
    void RestoreControls() override { ++restored; }
    void ApplyDebugView() override {}
    void showStopButton(bool shown) override { stopShown << shown; }
    bool keepRunning() const override { return m_running; }
    void setKeepRunning(bool value) override { m_running = value; }
    QString firmwarePath() const override { return m_path; }

    void showOk(const QString &prompt) override { messages << prompt; }
    bool askYesNo(const QString &prompt) override
    {
        messages << prompt;
        return true;
    }

private:
    QString m_path;
    bool m_running = false;
};
