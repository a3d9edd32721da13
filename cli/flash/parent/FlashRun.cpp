#include "FlashRun.h"

#include "CheckedFirmware.h"
#include "FlashExit.h"
#include "FlashOptions.h"
#include "FlashReport.h"
#include "InstrumentRun.h"
#include "LiveLines.h"
#include "PortPlan.h"
#include "ProgressDisplay.h"
#include "SignalNotifier.h"
#include "TerminalMessages.h"
#include "ToolFolder.h"
#include "Transcript.h"
#include "UpdateEndings.h"
#include "UpdateQuestion.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <csignal>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

void complain(const QString &text)
{
    std::fprintf(stderr, "veltrax-flash: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void printJson(const FlashReport &report)
{
    std::fprintf(stdout, "%s\n", jsonLine(report).constData());
    std::fflush(stdout);
}

// Nothing was sent: every port's line says so, with the reason's code.
int refuseAll(const FlashOptions &options, const QList<PlannedPort> &ports,
              const CheckedFirmware *firmware, int code)
{
    if (options.json) {
        for (const PlannedPort &port : ports) {
            printJson({port.name, port.device, firmware ? firmware->name : QString(),
                       firmware ? firmware->sha256 : QString(), QString(), code, 0, 0,
                       instrumentName(InstrumentState::Unchanged), false});
        }
    }
    return code;
}

// The updates run from the image this process was started from: a package
// upgraded or removed while the question waits cannot take the program away.
QString runningImage()
{
    return QStringLiteral("/proc/self/exe");
}

// The parent's part once the children run.
class Supervisor : public QObject {
public:
    Supervisor(const FlashOptions &options, const QList<InstrumentRun *> &runs,
               SignalNotifier &notifier)
        : m_options(options), m_runs(runs),
          m_display(runs, !options.quiet && wantLiveLines(STDERR_FILENO, runs.size())),
          m_jsonOnTerminal(::isatty(STDOUT_FILENO) == 1)
    {
        m_display.setQuiet(options.quiet);
        notifier.watch(SIGINT);
        notifier.watch(SIGTERM);
        connect(&notifier, &SignalNotifier::raised, this, &Supervisor::onSignal);
        for (InstrumentRun *run : m_runs)
            connect(run, &InstrumentRun::finished, this, [this, run] { onFinished(run); });
    }

    int run()
    {
        for (InstrumentRun *run : m_runs)
            run->start(runningImage());
        if (!allFinished())
            QCoreApplication::exec();
        m_display.finish();
        int worst = FlashExit::Success;
        for (const InstrumentRun *run : m_runs)
            worst = std::max(worst, run->exitCode());
        return worst;
    }

private:
    bool allFinished() const
    {
        return std::all_of(m_runs.begin(), m_runs.end(),
                           [](const InstrumentRun *run) { return run->isFinished(); });
    }

    void onFinished(InstrumentRun *run)
    {
        if (m_options.json && !(m_hungUp && m_jsonOnTerminal))
            m_display.above([run] { printJson(run->report()); });
        if (allFinished())
            QCoreApplication::exit(0);
    }

    // Ctrl-C and a termination alike: first Stop on every instrument, then at
    // the next one an end at once. A hang-up of the terminal stops nothing:
    // before the erase the update is harmless, after it only finishing brings
    // back a good image. The terminal is no longer written to.
    void onSignal(int signal)
    {
        if (signal == SIGHUP) {
            if (m_hungUp)
                return;
            m_hungUp = true;
            m_display.hangUp();
            for (InstrumentRun *run : m_runs)
                run->noteHangUp();
            return;
        }
        if (!m_stopping) {
            m_stopping = true;
            m_display.say((signal == SIGINT ? QStringLiteral("Ctrl-C")
                                            : QStringLiteral("signal %1").arg(signal)) +
                          QStringLiteral(": Stop pressed on every instrument; Ctrl-C "
                                         "again ends at once"));
            for (InstrumentRun *run : m_runs)
                run->pressStop(signal);
            return;
        }
        m_display.say(signal == SIGINT
                          ? QStringLiteral("Ctrl-C again: ending at once")
                          : QStringLiteral("signal %1 again: ending at once").arg(signal));
        for (InstrumentRun *run : m_runs)
            run->killNow();
    }

    const FlashOptions &m_options;
    QList<InstrumentRun *> m_runs;
    ProgressDisplay m_display;
    const bool m_jsonOnTerminal;
    bool m_stopping = false;
    bool m_hungUp = false;
};

} // namespace

int runFlash(const FlashOptions &options)
{
    const ToolFolder chosen =
        chooseToolFolder(options.folder, QDir::currentPath(), QDir::homePath());
    if (!chosen.error.isEmpty()) {
        complain(QStringLiteral("--folder: %1; nothing sent").arg(chosen.error));
        return FlashExit::Refused;
    }
    const QString &folder = chosen.path;
    // Like the firmware line, part of what --quiet leaves out.
    if (!options.quiet)
        complain(QStringLiteral("folder %1 (%2)").arg(folder, chosen.why));
    const PortPlanResult plan = planPorts(options.ports, folder);
    if (plan.unlinked) {
        complain(plan.error + QStringLiteral("; nothing sent"));
        return refuseAll(options, plan.ports, nullptr, Ending::NotStarted.exitCode);
    }
    if (!plan.error.isEmpty()) {
        complain(plan.error + QStringLiteral("; nothing sent"));
        return FlashExit::Refused;
    }
    if (!options.logDir.isEmpty() && !QDir().mkpath(options.logDir)) {
        complain(
            QStringLiteral("--log %1: cannot make the folder; nothing sent").arg(options.logDir));
        return FlashExit::Refused;
    }

    const FirmwareChoice choice = chooseFirmware(options.firmware, folder);
    if (!choice.firmware) {
        complain(choice.problem + QStringLiteral("; nothing sent"));
        return refuseAll(options, plan.ports, nullptr, FlashExit::NoFirmware);
    }
    const CheckedFirmware &firmware = *choice.firmware;
    if (!options.quiet)
        complain(QStringLiteral("firmware %1 (%2 bytes, sha256 %3)")
                     .arg(firmware.path)
                     .arg(firmware.bytes.size())
                     .arg(firmware.sha256));
    // Even a quiet run says which device each port opens, before anything is
    // sent; the question repeats it where standard error does not show it.
    QString opens;
    for (const PlannedPort &port : plan.ports) {
        opens += QStringLiteral("veltrax-flash: port %1 opens %2\n").arg(port.name, port.device);
        complain(QStringLiteral("port %1 opens %2").arg(port.name, port.device));
    }

    // From here a hang-up of the terminal is handled, not fatal: at the
    // question it is No, during the updates it stops nothing. One that was
    // ignored when the tool started (nohup) stays ignored.
    struct sigaction hangUp {};
    sigaction(SIGHUP, nullptr, &hangUp);
    SignalNotifier notifier;
    if (hangUp.sa_handler != SIG_IGN)
        notifier.watch(SIGHUP, true);

    if (!options.yes) {
        // Ctrl-C or a termination at the question is No as well: it ends the
        // read, and every port still gets its line. The updates watch them
        // again as Stop.
        notifier.watch(SIGINT, true);
        notifier.watch(SIGTERM, true);
        const std::optional<bool> answer =
            TerminalMessages::askOnControllingTerminal(UpdateQuestion, opens);
        if (!answer) {
            complain(QStringLiteral("no terminal to ask on; give --yes to update without the "
                                    "question; nothing sent"));
            return refuseAll(options, plan.ports, &firmware, FlashExit::Refused);
        }
        if (!*answer) {
            complain(QStringLiteral("not updated; nothing sent"));
            return refuseAll(options, plan.ports, &firmware, FlashExit::Refused);
        }
    }

    std::vector<std::unique_ptr<InstrumentRun>> owned;
    QList<InstrumentRun *> runs;
    for (const PlannedPort &port : plan.ports) {
        std::unique_ptr<Transcript> transcript;
        if (!options.logDir.isEmpty()) {
            QString error;
            transcript = Transcript::create(options.logDir, port.name, &error);
            if (!transcript) {
                complain(QStringLiteral("--log: %1; nothing sent").arg(error));
                return refuseAll(options, plan.ports, &firmware, FlashExit::Refused);
            }
        }
        owned.push_back(std::make_unique<InstrumentRun>(
            port, firmware, std::chrono::seconds(options.timeoutSeconds), std::move(transcript)));
        runs << owned.back().get();
    }
    Supervisor supervisor(options, runs, notifier);
    return supervisor.run();
}
