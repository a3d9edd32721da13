// Whole updates through the program's own window, serial code and a real
// pseudo-terminal, against veltrax-sim running as a separate process.
#include "SimulatedInstrument.h"
#include "UploaderWindow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString Question = QStringLiteral("Update Veltrax?  This will also reset all parameters "
                                        "under the PROGRAM menu (E1) to factory defaults.");
const QStringList Quick = {"--no-pacing"};

// Lines the instrument saw begin, from its verdict ("... bytes in N lines").
int linesStarted(const SimulatedInstrument::Verdict &verdict)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral(" in (\\d+) lines")).match(verdict.output);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// ESCs the instrument acknowledged; the update opens with one, the reset and
// the final reboot each begin with one more.
int escapes(const SimulatorLog &log)
{
    return log.noteCount(QStringLiteral(" acknowledged"));
}

// The program's window on a program folder, with the simulator on its COM1.
class EndToEnd : public ::testing::Test {
protected:
    // Starts the simulator, then the window as at program start.
    void start(const QStringList &simulatorOptions)
    {
        instrument = std::make_unique<SimulatedInstrument>(folder, simulatorOptions);
        window = std::make_unique<UploaderWindow>(folder.path(), messages, [this] { ++ends; });
        window->start();
    }

    void expectIdle() const { window->expectIdle(); }

    ProgramFolder folder;
    AnsweringMessageBox messages;
    int ends = 0;
    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<UploaderWindow> window;
};

// ---- whole updates -------------------------------------------------------

struct FirmwareOnDisk {
    const char *date;
    int seed;
};

struct WholeUpdateCase {
    const char *name;
    std::vector<FirmwareOnDisk> files;
    std::size_t newest; // index into files
};

void PrintTo(const WholeUpdateCase &c, std::ostream *out)
{
    *out << c.name;
}

class WholeUpdate : public EndToEnd, public ::testing::WithParamInterface<WholeUpdateCase> {};

TEST_P(WholeUpdate, imageArrivesWhole_updateSuccessful)
{
    const WholeUpdateCase &c = GetParam();
    std::vector<QByteArray> images;
    for (const FirmwareOnDisk &file : c.files)
        images.push_back(folder.generateFirmware(QLatin1String(file.date), "4K", file.seed));
    start(Quick);
    const QString newestName =
        QStringLiteral("veltrax_%1.hex").arg(QLatin1String(c.files[c.newest].date));
    EXPECT_EQ(window->text("lblFileName"), newestName);
    EXPECT_EQ(window->status(), QStringLiteral("Valid file selected."));

    window->clickSend();

    EXPECT_EQ(window->status(), QStringLiteral("Update Successful"));
    EXPECT_EQ(messages.shown, QStringList{Question});
    expectIdle();
    const SimulatedInstrument::Verdict verdict = instrument->finish();
    EXPECT_EQ(verdict.exitCode, 0) << verdict.output.toStdString();
    EXPECT_TRUE(verdict.output.contains(QLatin1String("verdict: update complete")))
        << verdict.output.toStdString();
    const QByteArray image = instrument->image();
    EXPECT_EQ(image.size(), images[c.newest].size());
    EXPECT_TRUE(image == images[c.newest]) << "the instrument assembled another image";
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, WholeUpdate,
    ::testing::Values(WholeUpdateCase{"oneFile", {{"02092012", 1}}, 0},
                      // Year first, then month, then day; the century is not looked at.
                      WholeUpdateCase{
                          "newestOfSeveral",
                          {{"12312011", 2}, {"02082012", 3}, {"02092012", 4}, {"01012112", 5}},
                          2}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- updates that fail ---------------------------------------------------

struct FailedUpdateCase {
    const char *name;
    QStringList simulatorOptions;
    QByteArray firmware; // empty: a generated 2 KiB image
    QString status;      // left on the status line
    QStringList prompts; // after the question
    int simulatorExit;
    int lastLine; // the last line the instrument saw begin; 0: it received nothing at all
};

void PrintTo(const FailedUpdateCase &c, std::ostream *out)
{
    *out << c.name;
}

class FailedUpdate : public EndToEnd, public ::testing::WithParamInterface<FailedUpdateCase> {};

TEST_P(FailedUpdate, endsWithItsText_nothingMoreSent_windowIdle)
{
    const FailedUpdateCase &c = GetParam();
    if (c.firmware.isEmpty())
        folder.generateFirmware(QStringLiteral("03152024"), "2K");
    else
        folder.writeFile(QStringLiteral("veltrax_03152024.hex"), c.firmware);
    start(Quick + c.simulatorOptions);
    const QString before = window->status();

    window->clickSend();

    EXPECT_EQ(window->status(), c.status.isEmpty() ? before : c.status);
    EXPECT_EQ(messages.shown, QStringList{Question} + c.prompts);
    expectIdle();
    EXPECT_EQ(ends, 0);
    const SimulatedInstrument::Verdict verdict = instrument->finish();
    EXPECT_EQ(verdict.exitCode, c.simulatorExit) << verdict.output.toStdString();
    const SimulatorLog log = instrument->log();
    if (c.lastLine > 0) {
        // Only the ESC that opened the update: no reset was attempted.
        EXPECT_EQ(escapes(log), 1);
        EXPECT_EQ(linesStarted(verdict), c.lastLine) << verdict.output.toStdString();
    } else {
        EXPECT_EQ(log.received(), QByteArray());
    }
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, FailedUpdate,
    ::testing::Values(
        FailedUpdateCase{"nakAtLine5", {"--nak-line", "5"}, {}, "Failed at line 5 (NAK)", {}, 4, 5},
        FailedUpdateCase{"strangeAnswerAtLine2",
                         {"--line-reply", "2:A5"},
                         {},
                         "Failed at line 2 (0xA5)",
                         {},
                         4,
                         2},
        FailedUpdateCase{
            "codeBad", {"--code-bad"}, {}, "File sent UNsuccessfully! (Got Error)", {}, 5, 129},
        FailedUpdateCase{
            "hangUpAtLine3", {"--hangup-line", "3"}, {}, "Communitcations error.", {}, 4, 3},
        // Refused before the instrument erases its flash: it keeps its old firmware.
        FailedUpdateCase{"nonHexPair",
                         {},
                         ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                         ":1000100010111213141516171819ZZ1B1C1D1E1F68\r\n"
                         ":00000001FF\r\n",
                         {},
                         {"Invalid File"},
                         3,
                         0}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- Stop ----------------------------------------------------------------

struct StopCase {
    const char *name;
    QStringList simulatorOptions;
    QString stage; // Stop is clicked once the status line shows this,
    int line;      // and, unless 0, once this line of the file is shown as sent
    int linesMin, linesMax;
};

void PrintTo(const StopCase &c, std::ostream *out)
{
    *out << c.name;
}

class StopByUser : public EndToEnd, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopByUser, endsTheUpdateAtOnce)
{
    const StopCase &c = GetParam();
    folder.generateFirmware(QStringLiteral("03152024"), "2K");
    start(Quick + c.simulatorOptions);
    window->whenStatus(c.stage, [this, c] {
        if (c.line == 0)
            window->clickStop();
        else
            window->whenLineSent(c.line, [this] { window->clickStop(); });
    });

    QElapsedTimer clock;
    clock.start();
    window->clickSend();

    EXPECT_EQ(window->status(), QStringLiteral("Stopped by user!"));
    // The erase of the flash-wait case alone would take 5 s.
    EXPECT_LT(clock.elapsed(), 4000);
    expectIdle();
    const SimulatedInstrument::Verdict verdict = instrument->finish();
    EXPECT_EQ(verdict.exitCode, 4) << verdict.output.toStdString();
    EXPECT_EQ(escapes(instrument->log()), 1) << "a reset was attempted after the stop";
    const int lines = linesStarted(verdict);
    EXPECT_GE(lines, c.linesMin) << verdict.output.toStdString();
    EXPECT_LE(lines, c.linesMax) << verdict.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, StopByUser,
    ::testing::Values(
        StopCase{"duringTheFlashWait", {"--erase-ms", "5000"}, "Waiting for Flash", 0, 0, 0},
        // The click lands while line 3 waits for its ACK; Stop is seen at the
        // head of a line's wait, so the ACK may slip in first and line 4 go out.
        StopCase{"duringALine", {}, "Sending file...", 3, 3, 4}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
