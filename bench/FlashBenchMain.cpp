// veltrax-flash-bench: veltrax-flash on one simulated instrument alone, then on
// eight at once, every instrument paced at the line's 19200 baud. Prints each
// instrument's line stage against its wire time, the worst of the eight
// against the lone one (target: within 1.05 times), and the processor time
// per instrument for the whole update. After the lone run: the update's fixed
// part and the least a line costs any process on this machine, so that the
// lone figure can be read against what the machine allows.
#include "FlashBench.h"
#include "LineFigures.h"
#include "ProcessorFloor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>

extern char **environ;

namespace {

const char Usage[] = R"(Usage: veltrax-flash-bench [--size BYTES] [--instruments N]

Updates one simulated instrument with veltrax-flash, then N at once (default
8), all paced at 19200 baud, and compares their line stages (from each
simulator's own log) with the wire time. After the lone run it also measures
the update of a 2-line image (the fixed part) and the processor time of a line
for a process that does nothing else (the floor).

  --size BYTES      image size (default 32K: about 24 s of transfer)
  --instruments N   how many at once, 2 to 32 (default 8)
)";

constexpr double Target = 1.05;

struct Run {
    std::vector<double> ratios;      // per instrument, line stage over wire time
    double processorSeconds = 0;     // veltrax-flash and its children, all of it
    double updateProcessSeconds = 0; // the update children alone, from the transcripts
    double wallSeconds = 0;
    int lines = 0;
    QString problem;
};

double seconds(const timeval &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// veltrax-flash as a child of this process alone, so that its processor time
// (its own and its update children's) is what wait4 reports.
int spawnFlash(const QStringList &arguments, const QString &output, rusage &usage)
{
    std::vector<QByteArray> storage{QByteArray(VELTRAX_FLASH)};
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, output.toLocal8Bit().constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0)
        return -1;
    int status = 0;
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

Run measure(const ProgramFolder &folder, int count, const QString &name)
{
    Run run;
    std::vector<std::unique_ptr<SimulatedInstrument>> instruments;
    QStringList arguments{"--yes", "--folder", folder.path(), "--log",
                          folder.scratchPath(name + QStringLiteral("-logs"))};
    for (int n = 1; n <= count; ++n) {
        instruments.push_back(
            std::make_unique<SimulatedInstrument>(folder, n, QStringList{"--timeout", "3600"}));
        arguments << "--port" << QStringLiteral("COM%1").arg(n);
    }
    rusage usage{};
    const auto start = std::chrono::steady_clock::now();
    const int status =
        spawnFlash(arguments, folder.scratchPath(name + QStringLiteral(".json")), usage);
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.processorSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    if (status != 0)
        run.problem = QStringLiteral("veltrax-flash ended with %1").arg(status);

    static const QRegularExpression processor(QStringLiteral("^processor time: +([0-9.]+) s$"),
                                              QRegularExpression::MultilineOption);
    for (const auto &[port, text] : transcriptsByPort(folder.scratchPath(name + "-logs")))
        run.updateProcessSeconds += processor.match(text).captured(1).toDouble();

    for (auto &instrument : instruments) {
        instrument->finish();
        const LineStage stage = lineStageOnTheLine(instrument->log());
        if (!stage.found) {
            run.problem = QStringLiteral("an instrument saw no whole line stage");
            continue;
        }
        run.lines = stage.lines;
        const Nanoseconds wire = wireTime(stage.bytesSent + stage.bytesReceived);
        run.ratios.push_back(static_cast<double>(stage.duration.count()) /
                             static_cast<double>(wire.count()));
    }
    return run;
}

QString machine()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    QString model = QStringLiteral("unknown processor");
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        static const QRegularExpression name(QStringLiteral("^model name\\s*:\\s*(.*)$"),
                                             QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = name.match(QString::fromLatin1(cpuinfo.readAll()));
        if (match.hasMatch())
            model = match.captured(1).trimmed();
    }
    utsname system{};
    uname(&system);
    return QStringLiteral("%1, %2 logical processors, Linux %3")
        .arg(model)
        .arg(QThread::idealThreadCount())
        .arg(QString::fromLatin1(system.release));
}

void report(const char *label, const Run &run, int count)
{
    // A higher ratio is a slower line stage.
    const auto [best, worst] = std::minmax_element(run.ratios.begin(), run.ratios.end());
    const double updateProcess = run.updateProcessSeconds / count;
    std::printf("%-16s line stage / wire time: worst %.4f, best %.4f; processor time per "
                "instrument %.3f s (update process %.3f s, %.0f us a line); %.1f s in all\n",
                label, run.ratios.empty() ? 0.0 : *worst, run.ratios.empty() ? 0.0 : *best,
                run.processorSeconds / count, updateProcess,
                run.lines > 0 ? updateProcess / run.lines * 1e6 : 0.0, run.wallSeconds);
}

// What the lone update process spends beyond the update's fixed part (start,
// open, the waits before and after the lines), beside the least a line costs
// any process on this machine.
void reportFloor(const Run &lone)
{
    ProgramFolder tiny;
    tiny.generateFirmware(QStringLiteral("03152024"), QStringLiteral("16"));
    const Run fixed = measure(tiny, 1, QStringLiteral("fixed"));
    const LineCost bare = bareLoopLineCost(lone.lines);
    const LineCost eventLoop = eventLoopLineCost(lone.lines);
    if (!fixed.problem.isEmpty() || !bare.problem.empty() || !eventLoop.problem.empty()) {
        std::printf("floor: could not measure (%s%s%s)\n", qPrintable(fixed.problem),
                    bare.problem.c_str(), eventLoop.problem.c_str());
        return;
    }
    const int beyond = lone.lines - fixed.lines;
    std::printf("fixed part:      update process %.3f s for a %d-line image; the lone update "
                "process beyond it %.0f us a line\n",
                fixed.updateProcessSeconds, fixed.lines,
                beyond > 0 ? (lone.updateProcessSeconds - fixed.updateProcessSeconds) / beyond * 1e6
                           : 0.0);
    std::printf("floor:           a line's processor time with nothing else to do: %.0f us "
                "blocking, %.0f us on Qt's event loop\n",
                bare.microsecondsPerLine, eventLoop.microsecondsPerLine);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // The floor is measured on the event loop veltrax-flash uses.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QString size = QStringLiteral("32K");
    int count = 8;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--size") && i + 1 < arguments.size()) {
            size = arguments[++i];
        } else if (arguments[i] == QLatin1String("--instruments") && i + 1 < arguments.size()) {
            count = std::clamp(arguments[++i].toInt(), 2, 32);
        } else {
            std::fputs(Usage, arguments[i] == QLatin1String("--help") ? stdout : stderr);
            return arguments[i] == QLatin1String("--help") ? 0 : 2;
        }
    }

    ProgramFolder folder;
    folder.generateFirmware(QStringLiteral("03152024"), size);
    std::printf("veltrax-flash-bench: a %s image, paced at 19200 baud\nmachine: %s\n",
                qPrintable(size), qPrintable(machine()));
    std::fflush(stdout);

    const Run lone = measure(folder, 1, QStringLiteral("lone"));
    report("alone:", lone, 1);
    std::fflush(stdout);
    if (lone.problem.isEmpty() && lone.lines > 0)
        reportFloor(lone);
    const Run bench = measure(folder, count, QStringLiteral("bench"));
    report(qPrintable(QStringLiteral("%1 at once:").arg(count)), bench, count);
    for (const Run *run : {&lone, &bench}) {
        if (!run->problem.isEmpty() || run->ratios.empty()) {
            std::printf("could not measure: %s\n", qPrintable(run->problem));
            return 1;
        }
    }
    const double worst = *std::max_element(bench.ratios.begin(), bench.ratios.end());
    const double factor = worst / lone.ratios.front();
    std::printf("%d lines; worst of %d against the lone one: %.4f (target at most %.2f): %s\n",
                lone.lines, count, factor, Target, factor <= Target ? "met" : "NOT MET");
    return factor <= Target ? 0 : 1;
}
