#pragma once

#include "CheckedFirmware.h"
#include "ChildEvent.h"
#include "FlashReport.h"
#include "PortPlan.h"
#include "UpdateEndings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

class Transcript;

// One instrument's update as the parent sees it: the child process that
// runs it, what it reported, its transcript, and in the end its exit status.
// A child that crashes, or that is still running well past the time limit
// (its Stop not taking), ends here too, with the stage it had reached.
class InstrumentRun : public QObject {
    Q_OBJECT
public:
    // How long past the time limit a child may take to wind down after its
    // Stop (the dialogue's longest pauses are a few seconds) before it is killed.
    static constexpr std::chrono::seconds KillGrace{30};
    // After the verdict the time limit stops nothing: the pause, the reset and
    // the reboot run on their own limits, the reboot's start-up text at most
    // 30 characters 5 s apart. A child still running this long after the
    // verdict is hung.
    static constexpr std::chrono::seconds AfterVerdictLimit{240};

    InstrumentRun(PlannedPort port, const CheckedFirmware &firmware, std::chrono::seconds timeout,
                  std::unique_ptr<Transcript> transcript, QObject *parent = nullptr);
    ~InstrumentRun() override;

    // Starts `program` in its update-child mode and feeds it the firmware.
    void start(const QString &program);
    // The terminal hung up: the update goes on; the transcript says so.
    void noteHangUp();
    // Ctrl-C or SIGTERM: passed on to the child, which presses Stop and
    // records which it was.
    void pressStop(int signal);
    // The second Ctrl-C: the child is killed at once.
    void killNow();

    const PlannedPort &port() const { return m_port; }
    bool isFinished() const { return m_finished; }
    QString status() const { return m_status; }
    // The share of the file acknowledged, 0 to 100; empty before the transfer.
    std::optional<double> percent() const;
    qint64 linesSent() const { return m_linesSent; }
    double elapsedSeconds() const;
    // From the line rate measured since the transfer began; empty until measurable.
    std::optional<double> secondsLeft() const;
    int exitCode() const { return m_ending->exitCode; }
    const UpdateEnding &ending() const { return *m_ending; }
    FlashReport report() const;

signals:
    void statusChanged();
    void progressed();
    // A line worth showing on its own: a message box, a warning.
    void note(const QString &text);
    void finished();

private:
    void readEvents();
    void readErrors();
    void apply(const ChildEvent &event);
    void feedFirmware();
    void onProcessFinished(int exitCode, QProcess::ExitStatus status);
    void onDeadline();
    void finish(const QString &ending);

    PlannedPort m_port;
    const CheckedFirmware &m_firmware;
    std::chrono::seconds m_timeout;
    std::unique_ptr<Transcript> m_transcript;
    QProcess m_process;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    qint64 m_fed = 0;

    QString m_status;
    UpdateStage m_stage = UpdateStage::NotStarted; // the furthest the child reported
    bool m_ended = false;       // the child ran the update to its end
    bool m_endedByUser = false; // killed because the person asked so
    QStringList m_stops;
    bool m_killedHung = false;
    qint64 m_linesSent = 0;
    qint64 m_linesInFile = 0;
    double m_value = 0, m_maximum = 0;
    bool m_transferring = false;
    qint64 m_rateFromAt = 0, m_rateFromLines = 0, m_lastAt = 0;
    qint64 m_processorMs = -1;
    bool m_finished = false;
    const UpdateEnding *m_ending = &Ending::NotStarted;
    double m_seconds = 0;
};
