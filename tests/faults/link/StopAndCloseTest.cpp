// The operator at every stage of an update: a burst of clicks on Stop, or the
// window closed.
#include "LinkFixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace linkfault {
namespace {

const QString ResetFailed = QStringLiteral("Error Reseting Veltrax Defaults");
const QString RebootFailed = QStringLiteral("Error Rebooting Veltrax");

struct Stage {
    const char *name;
    QStringList simulatorOptions;
    QStringList statuses; // reached once the status line has shown these in turn,
    int line;             // and, unless 0, once this line of the file is shown as sent
    QString stopEnding;
    Through through; // the last bytes that may go out (the line after `line`)
    int limitMs;     // from the stage's last status to the end of the run
};

void PrintTo(const Stage &stage, std::ostream *out)
{
    *out << stage.name;
}

// clang-format off
const Stage Stages[] = {
    {"bootWait", {"--no-boot", "start"}, {"Waiting for boot..."}, 0, Stopped, Through::Boot, 1000},
    // The prompt is in before its wait begins: Stop is seen in the flash wait.
    {"prompt", {}, {"Waiting for \"MON: \"..."}, 0, Stopped, Through::Erase, 1000},
    {"flashWait", {"--erase-ms", "5000"}, {"Waiting for Flash"}, 0, Stopped, Through::Erase, 1000},
    // Stop is seen at the head of a line's wait: the ACK may slip in and line 4 go out.
    {"line", {}, {"Sending file..."}, 3, Stopped, Through::Line, 1000},
    {"verification", {"--verify-ms", "3000"}, {"File sent, waiting for verification..."}, 0,
     Stopped, Through::AllLines, 1000},
    // The pause runs its course; the reset wait still sends its ESC.
    {"resetPause", {}, {"Resetting Defaults"}, 0, ResetFailed, Through::ResetEsc, 6000},
    {"reset", {"--esc-delay-ms", "300"}, {"Waiting for ACK... (reset)"}, 0, ResetFailed,
     Through::ResetEsc, 1000},
    {"rebootPause", {}, {"Rebooting Veltrax"}, 0, RebootFailed, Through::RebootEsc, 1500},
    {"reboot", {"--boot-delay-ms", "300"}, {"Rebooting Veltrax", "Waiting for boot..."}, 0,
     RebootFailed, Through::Reboot, 1000},
};
// clang-format on

class StopBurst : public LinkFault, public ::testing::WithParamInterface<Stage> {};

TEST_P(StopBurst, endsAsTheStageDocuments_windowIdle_nothingLaterSent)
{
    const Stage &stage = GetParam();
    start(stage.simulatorOptions);
    whenStage(*window, stage.statuses, stage.line, [this] {
        EXPECT_EQ(descriptorsOn(device), 1) << "the port is not open at the stage";
        clickStopTwentyTimes();
    });

    window->clickSend();

    EXPECT_GT(stopsWhileRunning, 0);
    EXPECT_LT(msSinceLast(stage.statuses.last()), stage.limitMs);
    expectEnded(stage.stopEnding, updateBytes(hexFile, stage.through, stage.line + 1));
}

INSTANTIATE_TEST_SUITE_P(LinkFault, StopBurst, ::testing::ValuesIn(Stages),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(LinkFault, stopBurstWhilePortSettles_isOverriddenByTheTransfer)
{
    start({});
    // Lands while the port settles and the transfer readies itself.
    clickStopTwentyTimes();

    window->clickSend();

    EXPECT_EQ(stopsWhileRunning, 20);
    EXPECT_LT(msSinceLast(Stopped), 0) << "a Stop took effect";
    expectEnded(QStringLiteral("Update Successful"), updateBytes(hexFile, Through::Reboot, 0));
}

// Closing the window ends the program at once: run as processes, since the end
// is the process's end, every stage at the same time.
TEST(CloseAtEveryStage, endsAtOnce_status0_preferencesWhole_nothingMoreSent)
{
    struct Run {
        ProgramFolder folder{QByteArrayLiteral("COM=1\r\nDBG=7\r\n")}; // rewritten as DBG=1
        std::unique_ptr<SimulatedInstrument> instrument;
        QProcess program;
        QByteArray output;
        qint64 closedAt = -1, endedAt = -1;
    };
    std::vector<std::unique_ptr<Run>> runs;
    QElapsedTimer clock;
    clock.start();
    for (const Stage &stage : Stages) {
        Run &run = *runs.emplace_back(std::make_unique<Run>());
        run.folder.generateFirmware(QStringLiteral("03152024"), "2K");
        run.instrument = std::make_unique<SimulatedInstrument>(
            run.folder, QStringList{"--no-pacing"} + stage.simulatorOptions);
        QObject::connect(&run.program, &QProcess::readyReadStandardOutput, [&run, &clock] {
            run.output += run.program.readAllStandardOutput();
            if (run.closedAt < 0 && run.output.contains("closing after"))
                run.closedAt = clock.elapsed();
        });
        QObject::connect(&run.program, &QProcess::finished,
                         [&run, &clock] { run.endedAt = clock.elapsed(); });
        run.program.start(QCoreApplication::applicationFilePath(),
                          QStringList{"--close", run.folder.path(), QString::number(stage.line)} +
                              stage.statuses);
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&runs] {
            return std::all_of(runs.begin(), runs.end(),
                               [](auto &run) { return run->endedAt >= 0; });
        },
        30000));

    const QRegularExpression closing(QStringLiteral("closing after (\\d+) bytes sent"));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        Run &run = *runs[i];
        SCOPED_TRACE(Stages[i].name);
        const QRegularExpressionMatch match = closing.match(QString::fromLocal8Bit(run.output));
        ASSERT_TRUE(match.hasMatch()) << run.output.toStdString();
        EXPECT_LT(run.endedAt - run.closedAt, 1000);
        EXPECT_EQ(run.program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.program.exitCode(), 0);
        EXPECT_FALSE(run.output.contains("still running")) << run.output.toStdString();
        EXPECT_EQ(run.folder.readFile(QStringLiteral("hexcfg.dat")), "COM=1\r\nDBG=1\r\n");
        run.instrument->finish();
        const QByteArray received = run.instrument->log().received();
        EXPECT_EQ(received.size(), match.captured(1).toLongLong()) << "sent after the close";
        const QByteArray hexFile = run.folder.readFile(QStringLiteral("veltrax_03152024.hex"));
        EXPECT_TRUE(
            updateBytes(hexFile, Stages[i].through, Stages[i].line + 1).startsWith(received));
    }
}

} // namespace
} // namespace linkfault
