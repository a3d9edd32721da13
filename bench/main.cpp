// veltrax-bench: how the program does on the line and on the machine, through
// its own window, serial code and a pseudo-terminal against veltrax-sim. Each
// measurement runs in a process of its own (Phases.h); this one runs them in
// turn and prints every figure beside its target.
#include "Phases.h"
#include "SimulatedInstrument.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

const char Usage[] = R"(Usage: veltrax-bench [--quick] [--size BYTES]

Measures, through the program's own window (offscreen), serial code and a
pseudo-terminal against veltrax-sim:
  a) wire efficiency: the line stage against its wire time at 19200 baud, paced
  b) turnaround: a line's ACK to the next line's SOH, unpaced
  c) processor time while waiting for a start-up text that never comes (10 s)
  d) peak resident memory during the transfer
  e) start-up to the window shown, 10,000 files in the folder, against bare Qt

  --size BYTES  image for a), b) and d) (default 256K; a) takes about 3.5 min)
  --quick       a 32K image: a) takes about 30 s
)";

constexpr int StartUpFiles = 10000;
constexpr int StartUpRuns = 5;

struct Phase {
    QMap<QString, double> figures;
    QString problem; // empty when it measured
    double operator[](const char *name) const { return figures.value(QLatin1String(name), -1); }
};

Phase runChild(const QString &program, const QStringList &arguments, int limitMs,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcessEnvironment childEnvironment = environment;
    childEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(childEnvironment);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(program, arguments);
    Phase phase;
    if (!child.waitForFinished(limitMs)) {
        child.kill();
        child.waitForFinished();
        phase.problem = QStringLiteral("did not finish within %1 s").arg(limitMs / 1000);
    } else if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        phase.problem = QStringLiteral("failed (%1): %2")
                            .arg(child.exitCode())
                            .arg(QString::fromLocal8Bit(child.readAllStandardError()).trimmed());
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 3 && words[0] == "figure")
            phase.figures.insert(QString::fromLatin1(words[1]), words[2].toDouble());
    }
    return phase;
}

Phase runPhaseProcess(const QString &phase, const QString &size, int limitMs)
{
    return runChild(QCoreApplication::applicationFilePath(), {"--phase", phase, "--size", size},
                    limitMs);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

// The program started in a folder of 10,000 files with its firmware, its
// preferences and the simulator on COM1, against QApplication and an empty
// QWidget; the median of several starts each, after one start of each to warm
// the caches.
Phase startUp()
{
    ProgramFolder folder;
    folder.generateFirmware(QStringLiteral("02092012"), QStringLiteral("8K"));
    for (int i = 0; i < StartUpFiles; ++i)
        folder.writeFile(QStringLiteral("logfile-%1.txt").arg(i, 5, 10, QLatin1Char('0')), {});
    // The program takes the folder of its executable as its own.
    const QString program = folder.filePath(QStringLiteral("veltrax-uploader"));
    Phase result;
    if (!QFile::copy(QCoreApplication::applicationFilePath(), program) ||
        !QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        result.problem = QStringLiteral("cannot copy the program into its folder");
        return result;
    }
    SimulatedInstrument instrument(folder, {"--no-pacing"});

    std::vector<double> bare, real;
    for (int run = 0; run <= StartUpRuns; ++run) {
        for (const bool isBare : {true, false}) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            const auto launched = std::chrono::steady_clock::now().time_since_epoch();
            environment.insert(
                QLatin1String(LaunchVariable),
                QString::number(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(launched).count()));
            const Phase start =
                runChild(isBare ? QCoreApplication::applicationFilePath() : program,
                         {"--phase", isBare ? "bare" : "startup"}, 30000, environment);
            if (!start.problem.isEmpty() || start["shown_ms"] < 0) {
                result.problem =
                    start.problem.isEmpty() ? QStringLiteral("no window shown") : start.problem;
                return result;
            }
            if (run > 0)
                (isBare ? bare : real).push_back(start["shown_ms"]);
        }
    }
    result.figures.insert(QStringLiteral("bare_ms"), median(bare));
    result.figures.insert(QStringLiteral("program_ms"), median(real));
    result.figures.insert(QStringLiteral("over_bare_ms"), median(real) - median(bare));
    return result;
}

// One line of the table; without a target the figure is shown for its own sake.
void row(const char *what, const Phase &phase, const char *name, const char *unit,
         std::optional<double> target = std::nullopt)
{
    if (!phase.problem.isEmpty()) {
        std::printf("  %-44s %12s\n", what, "-");
        return;
    }
    const double value = phase[name];
    if (!target) {
        std::printf("  %-44s %12.3f %-3s\n", what, value, unit);
        return;
    }
    std::printf("  %-44s %12.3f %-3s  <= %-7g %s\n", what, value, unit, *target,
                value >= 0 && value <= *target ? "PASS" : "MISS");
}

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

void progress(const char *text)
{
    std::fprintf(stderr, "veltrax-bench: %s\n", text);
}

int orchestrate(const QStringList &arguments)
{
    QString size = QStringLiteral("256K");
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--quick")) {
            size = QStringLiteral("32K");
        } else if (arguments[i] == QLatin1String("--size") && i + 1 < arguments.size()) {
            size = arguments[++i];
        } else {
            std::fputs(Usage, arguments[i] == QLatin1String("--help") ? stdout : stderr);
            return arguments[i] == QLatin1String("--help") ? 0 : 2;
        }
    }
    std::printf("veltrax-bench: image %s, %d processors (%s)\n", qPrintable(size),
                QThread::idealThreadCount(), qPrintable(cpuModel()));
    std::fflush(stdout);

    progress("e) start-up, 10,000 files in the program folder...");
    const Phase start = startUp();
    progress("c) 10 s of waiting for boot...");
    const Phase idle = runPhaseProcess(QStringLiteral("cpu"), size, 60000);
    progress("d) memory during an unpaced transfer...");
    const Phase memory = runPhaseProcess(QStringLiteral("memory"), size, 300000);
    progress("b) turnaround, unpaced...");
    const Phase turn = runPhaseProcess(QStringLiteral("turnaround"), size, 300000);
    progress("a) the pseudo-terminal's own round trip...");
    const Phase ptyFloor = runPhaseProcess(QStringLiteral("floor"), size, 120000);
    progress(size == QLatin1String("256K")
                 ? "a) wire efficiency, paced at 19200 baud (about 3.5 min)..."
                 : "a) wire efficiency, paced at 19200 baud...");
    const Phase wire = runPhaseProcess(QStringLiteral("efficiency"), size, 1800000);

    std::printf("\n  %-44s %12s      %-10s %s\n", "figure", "measured", "target", "result");
    row("a) line stage / its wire time, paced", wire, "ratio", "", 1.01);
    row("   line stage (first SOH to last ACK)", wire, "stage_s", "s");
    row("   wire time of its bytes, both ways", wire, "wire_s", "s");
    row("   lines", wire, "lines", "");
    row("   time over the wire time, per line", wire, "overhead_per_line_us", "us");
    row("   - program, ACK to next SOH (mean)", wire, "paced_program_turnaround_mean_us", "us");
    row("     median", wire, "paced_program_turnaround_median_us", "us");
    row("   - simulator, ACK out to SOH in (mean)", wire, "paced_line_turnaround_mean_us", "us");
    row("     median", wire, "paced_line_turnaround_median_us", "us");
    row("   - simulator's ACK late (mean)", wire, "paced_instrument_late_mean_us", "us");
    row("     median", wire, "paced_instrument_late_median_us", "us");
    row("   floor: the pty's round trip alone (mean)", ptyFloor, "pty_round_trip_mean_us", "us");
    row("     median", ptyFloor, "pty_round_trip_median_us", "us");
    row("   ratio for a program that takes no time", ptyFloor, "floor_ratio", "");
    row("b) turnaround median, in the program", turn, "program_median_us", "us", 100);
    row("   99th percentile, in the program", turn, "program_p99_us", "us");
    row("   median, on the line (simulator's log)", turn, "line_median_us", "us");
    row("   99th percentile, on the line", turn, "line_p99_us", "us");
    row("c) processor while waiting for boot", idle, "cpu_percent", "%", 0.5);
    row("   wake-ups", idle, "wakeups_per_s", "/s");
    row("d) peak resident memory, transfer", memory, "peak_rss_mb", "MB", 80);
    row("   resident as the transfer began", memory, "rss_at_start_mb", "MB");
    row("e) start-up over bare Qt", start, "over_bare_ms", "ms", 300);
    row("   program to its window shown (median)", start, "program_ms", "ms");
    row("   bare Qt to an empty QWidget shown", start, "bare_ms", "ms");

    int status = 0;
    for (const auto &[name, phase] : {std::pair{"a", &wire},
                                      {"a", &ptyFloor},
                                      {"b", &turn},
                                      {"c", &idle},
                                      {"d", &memory},
                                      {"e", &start}}) {
        if (!phase->problem.isEmpty()) {
            std::printf("%s) %s\n", name, qPrintable(phase->problem));
            status = 1;
        }
    }
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool child = argc > 2 && QByteArray(argv[1]) == "--phase";
    if (!child) {
        QCoreApplication app(argc, argv);
        return orchestrate(QCoreApplication::arguments());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString phase = QString::fromLocal8Bit(argv[2]);
    const QString size = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("256K");
    return runPhase(phase, size);
}
