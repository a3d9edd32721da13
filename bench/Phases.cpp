#include "Phases.h"

#include "LineFigures.h"
#include "PtyFloor.h"
#include "SimulatedInstrument.h"
#include "Uploader.h"
#include "UploaderWindow.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

void figure(const char *name, double value)
{
    std::printf("figure %s %.6f\n", name, value);
    std::fflush(stdout);
}

double microseconds(Nanoseconds time)
{
    return static_cast<double>(time.count()) / 1000.0;
}

double seconds(Nanoseconds time)
{
    return static_cast<double>(time.count()) / 1e9;
}

// From /proc/self/status, in kB; -1 when it cannot be read.
long long statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLongLong();
    }
    return -1;
}

// The kernel's high-water mark starts again from the present resident size.
bool resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

struct CpuSample {
    Clock::time_point wall;
    Nanoseconds cpu;
    long long switches;
};

CpuSample cpuNow()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto toNs = [](const timeval &t) {
        return Nanoseconds(static_cast<long long>(t.tv_sec) * 1000000000LL +
                           static_cast<long long>(t.tv_usec) * 1000LL);
    };
    return {Clock::now(), toNs(usage.ru_utime) + toNs(usage.ru_stime),
            usage.ru_nvcsw + usage.ru_nivcsw};
}

// A program folder with a firmware file, the simulator on its COM1 and the
// program's window on it, started as at program start.
struct UpdateRun {
    UpdateRun(const QString &imageSize, const QStringList &simulatorOptions, bool recordLine)
    {
        folder.generateFirmware(QStringLiteral("02092012"), imageSize);
        instrument = std::make_unique<SimulatedInstrument>(folder, simulatorOptions);
        window = std::make_unique<UploaderWindow>(
            folder.path(), messages, [] {}, recordLine);
        window->start();
    }

    // The update's last status; complains on standard error unless it is `expected`.
    bool endedWith(const QString &expected) const
    {
        if (window->status() == expected)
            return true;
        std::fprintf(stderr, "the update ended with \"%s\", not \"%s\"\n",
                     qPrintable(window->status()), qPrintable(expected));
        return false;
    }

    ProgramFolder folder;
    AnsweringMessageBox messages;
    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<UploaderWindow> window;
};

int efficiency(const QString &imageSize)
{
    UpdateRun run(imageSize, {}, true);
    run.window->clickSend();
    if (!run.endedWith(QStringLiteral("Update Successful")))
        return 1;
    const LineStage stage = findLineStage(run.window->line()->events());
    if (!stage.found)
        return 1;
    const Nanoseconds wire = wireTime(stage.bytesSent + stage.bytesReceived);
    figure("lines", stage.lines);
    figure("bytes_on_wire", static_cast<double>(stage.bytesSent + stage.bytesReceived));
    figure("stage_s", seconds(stage.duration));
    figure("wire_s", seconds(wire));
    figure("ratio",
           static_cast<double>(stage.duration.count()) / static_cast<double>(wire.count()));
    figure("overhead_per_line_us", microseconds(stage.duration - wire) / stage.lines);
    // Where the time over the wire time goes, per line: the program's own
    // turnaround, the whole gap from the simulator's ACK to the next line, and
    // the simulator's lateness in answering.
    const Spread program = spreadOf(stage.turnarounds);
    figure("paced_program_turnaround_median_us", microseconds(program.median));
    figure("paced_program_turnaround_mean_us", microseconds(program.mean));
    const bool complete = run.instrument->finish() == 0;
    const SimulatorLog log = run.instrument->log();
    const Spread line = spreadOf(turnaroundsOnTheLine(log));
    figure("paced_line_turnaround_median_us", microseconds(line.median));
    figure("paced_line_turnaround_mean_us", microseconds(line.mean));
    const Spread late = spreadOf(instrumentLatenessOnTheLine(log));
    figure("paced_instrument_late_median_us", microseconds(late.median));
    figure("paced_instrument_late_mean_us", microseconds(late.mean));
    return complete ? 0 : 1;
}

// What the pseudo-terminal alone costs a line: the stage's ratio for a
// program and an instrument that took no time at all.
int ptyFloor()
{
    constexpr int RoundTrips = 1000;
    constexpr int LineBytes = 22; // SOH and a 16-byte record
    const Nanoseconds lineWire = wireTime(LineBytes + 1);
    const PtyRoundTrips trips = measurePtyRoundTrips(
        RoundTrips, LineBytes, std::chrono::duration_cast<std::chrono::microseconds>(lineWire));
    if (!trips.problem.empty()) {
        std::fprintf(stderr, "%s\n", trips.problem.c_str());
        return 1;
    }
    const Spread spread = spreadOf(trips.samples);
    figure("pty_round_trip_median_us", microseconds(spread.median));
    figure("pty_round_trip_mean_us", microseconds(spread.mean));
    figure("floor_ratio",
           1.0 + static_cast<double>(spread.mean.count()) / static_cast<double>(lineWire.count()));
    return 0;
}

int turnaround(const QString &imageSize)
{
    UpdateRun run(imageSize, {"--no-pacing"}, true);
    run.window->clickSend();
    if (!run.endedWith(QStringLiteral("Update Successful")))
        return 1;
    const Spread inProgram = spreadOf(findLineStage(run.window->line()->events()).turnarounds);
    run.instrument->finish();
    const Spread onLine = spreadOf(turnaroundsOnTheLine(run.instrument->log()));
    figure("samples", inProgram.count);
    figure("program_median_us", microseconds(inProgram.median));
    figure("program_p99_us", microseconds(inProgram.p99));
    figure("program_max_us", microseconds(inProgram.max));
    figure("line_median_us", microseconds(onLine.median));
    figure("line_p99_us", microseconds(onLine.p99));
    return inProgram.count > 0 ? 0 : 1;
}

int cpu()
{
    constexpr int MeasureMs = 10000;
    UpdateRun run(QStringLiteral("2K"), {"--no-pacing", "--no-boot", "start"}, false);
    CpuSample before{}, after{};
    run.window->whenStatus(QStringLiteral("Waiting for boot..."), [&] {
        before = cpuNow();
        QTimer::singleShot(MeasureMs, [&] {
            after = cpuNow();
            run.window->clickStop();
        });
    });
    run.window->clickSend();
    if (!run.endedWith(QStringLiteral("Stopped by user!")))
        return 1;
    const double wall = seconds(after.wall - before.wall);
    figure("wall_s", wall);
    figure("cpu_percent", 100.0 * seconds(after.cpu - before.cpu) / wall);
    figure("wakeups_per_s", static_cast<double>(after.switches - before.switches) / wall);
    return 0;
}

int memory(const QString &imageSize)
{
    UpdateRun run(imageSize, {"--no-pacing"}, false);
    long long atStart = -1, peak = -1;
    bool reset = false;
    run.window->whenStatus(QStringLiteral("Sending file..."), [&] {
        atStart = statusKilobytes("VmRSS:");
        reset = resetPeakMemory();
    });
    // The transfer is what is measured; the reset and reboot that follow are not.
    run.window->whenStatus(QStringLiteral("File sent, waiting for verification..."), [&] {
        peak = statusKilobytes("VmHWM:");
        run.window->clickStop();
    });
    run.window->clickSend();
    if (!run.endedWith(QStringLiteral("Stopped by user!")) || peak < 0)
        return 1;
    figure("rss_at_start_mb", static_cast<double>(atStart) / 1024.0);
    figure("peak_rss_mb", static_cast<double>(peak) / 1024.0);
    // Without the reset the figure is the whole process's peak.
    figure("peak_is_transfer_only", reset ? 1 : 0);
    return 0;
}

// Reports the time from launch to the first paint of a window, then ends the
// process at once: nothing after the first showing is measured.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(Clock::time_point launched) : m_launched(launched) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window()->isVisible()) {
            figure("shown_ms", static_cast<double>((Clock::now() - m_launched).count()) / 1e6);
            std::_Exit(0);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Clock::time_point m_launched;
};

int startUp(bool bare)
{
    const QByteArray launched = qgetenv(LaunchVariable);
    if (launched.isEmpty())
        return 2;
    FirstPaint watch{Clock::time_point(Nanoseconds(launched.toLongLong()))};
    qApp->installEventFilter(&watch);
    if (!bare)
        return runUploader(*qApp);
    QWidget empty;
    empty.show();
    return QApplication::exec();
}

} // namespace

int runPhase(const QString &phase, const QString &imageSize)
{
    if (phase == QLatin1String("efficiency"))
        return efficiency(imageSize);
    if (phase == QLatin1String("turnaround"))
        return turnaround(imageSize);
    if (phase == QLatin1String("floor"))
        return ptyFloor();
    if (phase == QLatin1String("cpu"))
        return cpu();
    if (phase == QLatin1String("memory"))
        return memory(imageSize);
    if (phase == QLatin1String("startup") || phase == QLatin1String("bare"))
        return startUp(phase == QLatin1String("bare"));
    std::fprintf(stderr, "no phase %s\n", qPrintable(phase));
    return 2;
}
