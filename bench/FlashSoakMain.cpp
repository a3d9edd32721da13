// veltrax-flash-soak: some hundreds of updates through veltrax-flash, eight
// instruments at once, each simulator with a fault drawn from its options or
// none (seeded). Every ending must be one of the table's, with the state the
// instrument is really in; every successful image exact; no process left.
#include "FlashBench.h"
#include "UpdateEndings.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

const char Usage[] = R"(Usage: veltrax-flash-soak [--updates N] [--seed S]

Runs N updates (default 304) through veltrax-flash, 8 instruments at once, each
simulator with a fault drawn from its options or none, and checks every ending
against the table of endings and the instrument's own record.
)";

constexpr int AtOnce = 8;

// One simulator's fault, drawn from its options; about a quarter have none.
QStringList drawFault(QRandomGenerator &random, int lines)
{
    const auto line = [&] { return QString::number(random.bounded(1, lines + 1)); };
    // Every stage `veltrax-sim --hangup-at` takes.
    const QStringList stages{"boot", "prompt", "erase", "verify", "pause", "reset", "reboot"};
    switch (random.bounded(16)) {
    case 0:
        return {"--silent"};
    case 1:
        return {"--nak-line", line()};
    case 2:
        return {"--line-reply",
                line() + ":" +
                    QStringLiteral("%1").arg(random.bounded(256), 2, 16, QLatin1Char('0'))};
    case 3:
        return {"--code-bad"};
    case 4:
        return {"--erase-acks", "--erase-ms", "1500"};
    case 5:
        return {"--stray", "4F4B", "--stray-at", random.bounded(2) ? "reset" : "line:" + line()};
    case 6:
        return {"--no-boot", QStringList{"start", "final", "all"}[random.bounded(3)]};
    case 7:
        return {"--long-startup", QStringList{"start", "final"}[random.bounded(2)]};
    case 8:
        return {"--hangup-line", line()};
    case 9:
        return {"--hangup-at", stages[random.bounded(stages.size())]};
    case 10:
        return {"--esc-delay-ms", "150"};
    case 11:
        return {"--boot-delay-ms", "6000"};
    default:
        return {};
    }
}

// What the instrument's own record says it holds: it was never sent the first
// ENQ, it sent "CODE OK", or neither.
InstrumentState trueState(const SimulatorLog &log)
{
    QByteArray sent;
    for (const SimulatorLogEntry &entry : log.entries()) {
        if (entry.kind == SimulatorLogEntry::Kind::Sent)
            sent.append(static_cast<char>(entry.byte));
    }
    if (sent.contains("CODE OK"))
        return InstrumentState::Updated;
    return log.received().contains("quandrel\r\n\x05") ? InstrumentState::Erased
                                                       : InstrumentState::Unchanged;
}

const UpdateEnding *endingWithCode(int code)
{
    for (const UpdateEnding &ending : Ending::All) {
        if (ending.exitCode == code)
            return &ending;
    }
    return nullptr;
}

// The descendants still alive: as the subreaper, orphans come back to this process.
QByteArray leftBehind()
{
    QByteArray all;
    for (const QString &task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        all += e2e::readWhole(QStringLiteral("/proc/self/task/%1/children").arg(task)).trimmed();
    return all;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int updates = 304;
    quint32 seed = 1;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--updates") && i + 1 < arguments.size()) {
            updates = std::max(1, arguments[++i].toInt());
        } else if (arguments[i] == QLatin1String("--seed") && i + 1 < arguments.size()) {
            seed = arguments[++i].toUInt();
        } else {
            std::fputs(Usage, arguments[i] == QLatin1String("--help") ? stdout : stderr);
            return arguments[i] == QLatin1String("--help") ? 0 : 2;
        }
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    ProgramFolder folder;
    const QByteArray image = folder.generateFirmware(QStringLiteral("03152024"), "1K");
    const int lines =
        static_cast<int>(
            folder.readFile(QStringLiteral("veltrax_03152024.hex")).trimmed().count('\n')) +
        1;
    QRandomGenerator random(seed);
    std::map<int, int> byCode;
    int done = 0, faults = 0;
    QStringList problems;
    for (int batch = 0; done < updates; ++batch) {
        const int count = std::min(AtOnce, updates - done);
        std::vector<std::unique_ptr<SimulatedInstrument>> instruments;
        std::vector<QStringList> drawn;
        QStringList flash{"--yes", "--json", "--timeout", "3", "--folder", folder.path()};
        for (int n = 1; n <= count; ++n) {
            drawn.push_back(drawFault(random, lines));
            faults += drawn.back().isEmpty() ? 0 : 1;
            instruments.push_back(std::make_unique<SimulatedInstrument>(
                folder, n, QStringList{"--no-pacing"} + drawn.back()));
            flash << "--port" << QStringLiteral("COM%1").arg(n);
        }
        QProcess process;
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral(VELTRAX_FLASH), flash);
        if (!process.waitForFinished(600000)) {
            problems << QStringLiteral("batch %1: veltrax-flash did not end").arg(batch);
            process.kill();
            process.waitForFinished();
        }
        std::map<QString, QJsonObject> reports;
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!object.isEmpty())
                reports[object["port"].toString()] = object;
        }
        int highest = 0;
        for (int n = 1; n <= count; ++n, ++done) {
            const QString port = QStringLiteral("COM%1").arg(n);
            const QString fault =
                drawn[n - 1].isEmpty() ? QStringLiteral("none") : drawn[n - 1].join(' ');
            const auto problem = [&](const QString &what) {
                problems
                    << QStringLiteral("batch %1 %2 (%3): %4").arg(batch).arg(port, fault, what);
            };
            SimulatedInstrument &instrument = *instruments[n - 1];
            const int simulatorExit = instrument.finish();
            const QJsonObject report = reports[port];
            const int code = report["exit_code"].toInt(-1);
            const UpdateEnding *ending = endingWithCode(code);
            highest = std::max(highest, code);
            ++byCode[code];
            if (!ending) {
                problem(QStringLiteral("no ending of the table: exit code %1").arg(code));
                continue;
            }
            const QString reported = report["instrument"].toString();
            if (reported != instrumentName(ending->instrument))
                problem(QStringLiteral("exit code %1 with instrument %2").arg(code).arg(reported));
            // Never better than the truth: the instrument's record decides.
            const InstrumentState truth = trueState(instrument.log());
            if ((ending->instrument == InstrumentState::Updated) !=
                    (truth == InstrumentState::Updated) ||
                (ending->instrument == InstrumentState::Unchanged &&
                 truth != InstrumentState::Unchanged))
                problem(QStringLiteral("reported %1, the instrument is %2")
                            .arg(reported, instrumentName(truth)));
            if (code == 0 && (simulatorExit != 0 || instrument.image() != image))
                problem(QStringLiteral("success, but the instrument ended %1 with another image")
                            .arg(simulatorExit));
        }
        if (process.exitCode() != highest)
            problems << QStringLiteral("batch %1: exit %2, highest port code %3")
                            .arg(batch)
                            .arg(process.exitCode())
                            .arg(highest);
        instruments.clear();
        if (const QByteArray left = leftBehind(); !left.isEmpty())
            problems << QStringLiteral("batch %1: processes left behind: %2")
                            .arg(batch)
                            .arg(QString::fromLatin1(left));
        // Orphans handed to this subreaper are counted once, not again in
        // every later batch: the batch's own processes are all waited for.
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::fprintf(stderr, "\r%d of %d updates", done, updates);
        std::fflush(stderr);
    }
    std::fprintf(stderr, "\n");
    std::printf("veltrax-flash-soak: %d updates (seed %u, %d with a fault), %d at once; endings:",
                updates, seed, faults, AtOnce);
    for (const auto &[code, times] : byCode)
        std::printf(" %d x%d", code, times);
    std::printf("\n%lld problems\n", static_cast<long long>(problems.size()));
    for (const QString &problem : problems)
        std::printf("  %s\n", qPrintable(problem));
    return problems.isEmpty() ? 0 : 1;
}
