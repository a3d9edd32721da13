// Every way an update can end, driven through "Send File" against a scripted
// monitor: the status left behind, the exact bytes on the wire, the window back.
#include "UpdaterFixture.h"

#include <functional>

namespace {

const QString Success = QStringLiteral("Update Successful");
const QString Idle = QStringLiteral("Valid file selected.");
const QString Stopped = QStringLiteral("Stopped by user!");
const QString CommsError = QStringLiteral("Communitcations error.");
const QString ResetError = QStringLiteral("Error Reseting Veltrax Defaults");
const QString RebootError = QStringLiteral("Error Rebooting Veltrax");

using Change = std::function<void(Rig &, MonitorScript &)>;

struct Outcome {
    const char *name;
    Change change;
    QString finalStatus;
    Stage lastStage;
    QString stepStatus = {}; // what the failing step showed before the sequence's own text
    bool invalidFile = false;
};

void PrintTo(const Outcome &o, std::ostream *os)
{
    *os << o.name;
}

// A click on Stop, or the adapter pulled, some time after a byte sequence went out.
Change stopAfter(const QByteArray &trigger, ms after, int occurrence = 1, Change more = {})
{
    return [=](Rig &r, MonitorScript &s) {
        r.line.whenSent(
            trigger, after, [&r] { r.updater.btnStop_Click(); }, occurrence);
        if (more)
            more(r, s);
    };
}
Change pullAfter(const QByteArray &trigger, ms after, int occurrence = 1, Change more = {})
{
    return [=](Rig &r, MonitorScript &s) {
        r.line.whenSent(
            trigger, after, [&r] { r.line.pullAdapter(); }, occurrence);
        if (more)
            more(r, s);
    };
}

const QByteArray Line2Sent = stageBytes(Stage::Line2);
const QByteArray Line3Sent = stageBytes(Stage::Line3);

class UpdateOutcome : public ::testing::TestWithParam<Outcome>, public Rig {};

TEST_P(UpdateOutcome, leavesItsStatusAndWire)
{
    const Outcome &o = GetParam();
    MonitorScript s;
    if (o.change)
        o.change(*this, s);
    script(s);

    updater.btnSend_Click();

    EXPECT_EQ(window.status(), o.finalStatus);
    if (!o.stepStatus.isEmpty()) {
        EXPECT_EQ(window.statuses.at(window.statuses.size() - 2), o.stepStatus);
    }
    EXPECT_EQ(line.wire().toHex(' '), transcriptUpTo(o.lastStage).toHex(' '));
    EXPECT_EQ(messages.shown.contains(QStringLiteral("Invalid File")), o.invalidFile);
    EXPECT_EQ(line.closeCalls, 1);
    expectWindowBack();
}

template <typename T> struct Same {
    using type = T;
};
template <typename T> Change set(T MonitorScript::*field, typename Same<T>::type value)
{
    return [=](Rig &, MonitorScript &s) { s.*field = value; };
}
Change both(Change a, Change b)
{
    return [=](Rig &r, MonitorScript &s) {
        a(r, s);
        b(r, s);
    };
}
Change stopAt(ms moment)
{
    return [=](Rig &r, MonitorScript &) { r.line.at(moment, [&r] { r.updater.btnStop_Click(); }); };
}
Change failFile(int MemoryFileSystem::*field, int value, int line = 0)
{
    return [=](Rig &r, MonitorScript &) {
        r.files.*field = value;
        r.files.failReadLine = line;
    };
}
Change firmware(QByteArray content)
{
    return [=](Rig &r, MonitorScript &) { r.setFirmware(content); };
}

using S = MonitorScript;
using F = MemoryFileSystem;
const auto caseName = [](const auto &info) { return info.param.name; };
const QString FlashTimeout = QStringLiteral("Timeout waiting for flash... try again");
const QString VerifyTimeout = QStringLiteral("Timeout waiting for verification... try again");
const QString Sending = QStringLiteral("Sending file...");
const QByteArray Nak("\x15");

// clang-format off
// The counted-time limits, each met one read early and exactly at the limit.
INSTANTIATE_TEST_SUITE_P(Limits, UpdateOutcome, ::testing::Values(
    Outcome{"prompt_in11thRead_arrives", set(&S::promptAfter, 1100ms), Success, RebootReq},
    Outcome{"prompt_at11thTimeout_fails", set(&S::promptAfter, 1150ms), "Timeout waiting for \"MON: \"!", Access},
    Outcome{"flash_in301stRead_ready", set(&S::flash, Arrivals{{30050ms, "\x80"}}), Success, RebootReq},
    Outcome{"flash_at301stTimeout_fails", set(&S::flash, Arrivals{{30100ms, "\x80"}}), FlashTimeout, SetUp},
    Outcome{"flash_ackDoesNotAdvanceCount_ready", set(&S::flash, Arrivals{{5050ms, Ack}, {30140ms, "\x80"}}), Success, RebootReq},
    Outcome{"flash_ackDoesNotRestartCount_fails", set(&S::flash, Arrivals{{5050ms, Ack}, {30150ms, "\x80"}}), FlashTimeout, SetUp},
    Outcome{"lineAck_in11thRead_accepted", set(&S::lineAfter, 1050ms), Success, RebootReq},
    Outcome{"lineAck_at11thTimeout_fails", set(&S::lineAfter, 1100ms), "Failed at line 1 (timeout)", Line1},
    Outcome{"verdict_in151stRead_accepted", set(&S::verdictAfter, 15050ms), Success, RebootReq},
    Outcome{"verdict_at151stTimeout_fails", set(&S::verdictAfter, 15100ms), VerifyTimeout, Line3},
    Outcome{"resetAck_at11thTimeout_fails", set(&S::resetAfter, 1100ms), ResetError, ResetReq, "Timeout waiting for ACK (reset)"},
    Outcome{"rebootEscAck_in99ms_accepted", set(&S::rebootEscAfter, 99ms), Success, RebootReq},
    Outcome{"rebootEscAck_after100ms_fails", set(&S::rebootEscAfter, 100ms), RebootError, RebootEsc, "Waiting for ACK or boot..."},
    Outcome{"rebootText_in4999ms_accepted", set(&S::reboot, Arrivals{{4999ms, "boot"}}), Success, RebootReq},
    Outcome{"rebootText_5000msPause_fails", set(&S::reboot, Arrivals{{20ms, "bo"}, {5020ms, "ot"}}), RebootError, RebootReq, "Waiting for boot..."}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Answers, UpdateOutcome, ::testing::Values(
    Outcome{"line3_nak_fails", set(&S::lineAnswers, {Ack, Ack, Nak}), "Failed at line 3 (NAK)", Line3},
    Outcome{"line3_cr_fails", set(&S::lineAnswers, {Ack, Ack, "\x0d"}), "Failed at line 3 (0xD)", Line3},
    Outcome{"line3_a5_fails", set(&S::lineAnswers, {Ack, Ack, "\xa5"}), "Failed at line 3 (0xA5)", Line3},
    Outcome{"flash_otherByte_fails", set(&S::flash, Arrivals{{2000ms, Nak}}), "Failed to erase flash... try again", SetUp},
    // Noise after the flash-ready byte or after a line's ACK is not the next line's answer.
    Outcome{"flash_noiseAfterReady_flushed", set(&S::flash, Arrivals{{2000ms, "\x80"}, {2050ms, "x"}}), Success, RebootReq},
    Outcome{"lineAck_trailingNoise_flushed", set(&S::lineAnswers, {"\x06x", "\x06x"}), Success, RebootReq},
    Outcome{"verdict_codeBad_fails", set(&S::verdict, QByteArray("CODE BAD")), "File sent UNsuccessfully! (Got Error)", Line3},
    Outcome{"verdict_codeOkEnding25Chars_accepted", set(&S::verdict, QByteArray(18, 'x') + "CODE OK"), Success, RebootReq},
    Outcome{"verdict_codeOkEnding26Chars_tooMany", set(&S::verdict, QByteArray(19, 'x') + "CODE OK"), "File sent UNsuccessfully! (Got to many chars)", Line3},
    Outcome{"verdict_lowerCase_timesOut", set(&S::verdict, QByteArray("code ok")), VerifyTimeout, Line3},
    Outcome{"resetEsc_strayByte_fails", set(&S::resetEscAnswer, Nak), ResetError, ResetEsc, "Timeout waiting for ACK (reset)"},
    Outcome{"reboot_bootWithoutAck_noRebootRequest", set(&S::rebootEscAnswer, QByteArray("boot")), Success, RebootEsc}),
    caseName);

// A click on Stop in each kind of wait; before the transfer has begun it is overridden.
INSTANTIATE_TEST_SUITE_P(Stops, UpdateOutcome, ::testing::Values(
    Outcome{"bootWait_stopped", stopAfter(Esc, 3000ms, 1, set(&S::escAnswer, QByteArray())), Stopped, EntryEsc},
    Outcome{"bootTextWait_stopped", stopAfter(RebootRequest, 1000ms, 1, set(&S::boot, Arrivals{})), Stopped, EntryReboot},
    Outcome{"promptWait_stopped", stopAfter("quandrel\r\n", 300ms, 1, set(&S::prompt, QByteArray())), Stopped, Access},
    Outcome{"flashWait_stopped", stopAfter("\x05\x05", 10000ms, 1, set(&S::flash, Arrivals{})), Stopped, SetUp},
    Outcome{"lineWait_stopped", stopAfter(Line2Sent, 500ms, 1, both(set(&S::lineAnswers, {Ack, ""}), set(&S::verdict, QByteArray()))), Stopped, Line2},
    Outcome{"verification_stopped", stopAfter(Line3Sent, 5000ms, 1, set(&S::verdict, QByteArray())), Stopped, Line3},
    Outcome{"resetPause_stoppedButEscSent", stopAfter(Line3Sent, 2000ms), ResetError, ResetEsc, Stopped},
    Outcome{"resetWait_stopped", stopAfter(ResetRequest, 500ms, 1, set(&S::resetAnswer, QByteArray())), ResetError, ResetReq, Stopped},
    Outcome{"rebootPause_stopped", stopAfter(ResetRequest, 500ms), RebootError, RebootEsc, Stopped},
    Outcome{"rebootTextWait_stoppedWithinOneRead", stopAfter(RebootRequest, 1000ms, 2, set(&S::reboot, Arrivals{{3000ms, "boot"}})), RebootError, RebootReq, Stopped},
    Outcome{"whilePortSettles_overridden", stopAt(100ms), Success, RebootReq},
    Outcome{"beforeDialogue_overridden", stopAt(300ms), Success, RebootReq}),
    caseName);

// The adapter pulled in the middle of an update: no crash, no hanging wait.
INSTANTIATE_TEST_SUITE_P(PulledAdapter, UpdateOutcome, ::testing::Values(
    Outcome{"bootWaitWithoutLimit_commsError", pullAfter(Esc, 3000ms, 1, set(&S::escAnswer, QByteArray())), CommsError, EntryEsc},
    Outcome{"lineWait_commsErrorFileClosed", pullAfter(Line2Sent, 5ms), CommsError, Line2},
    Outcome{"resetPause_commsError", pullAfter(Line3Sent, 2000ms), CommsError, Line3},
    Outcome{"rebootTextWait_commsError", pullAfter(RebootRequest, 1000ms, 2, set(&S::reboot, Arrivals{{3000ms, "boot"}})), CommsError, RebootReq}),
    caseName);

// A file that cannot be sent to its end is refused before the flash is erased;
// one that fails later ends the update the same way, file closed.
INSTANTIATE_TEST_SUITE_P(FileFaults, UpdateOutcome, ::testing::Values(
    Outcome{"missing_refused", [](Rig &r, S &) { r.files.files.clear(); }, Idle, Nothing, {}, true},
    Outcome{"badPairOnLine2_refused", firmware(":00000001FF\r\n:0G\r\n"), Idle, Nothing, {}, true},
    Outcome{"noLine_refused", firmware(""), Idle, Nothing, {}, true},
    Outcome{"sizeFails_refused", [](Rig &r, S &) { r.files.sizeFails = true; }, Idle, Nothing, {}, true},
    Outcome{"checkOpenFails_refused", failFile(&F::failOpen, 1), Idle, Nothing, {}, true},
    Outcome{"checkReadFails_refused", failFile(&F::failReadOpen, 1, 2), Idle, Nothing, {}, true},
    Outcome{"transferOpenFails_invalid", failFile(&F::failOpen, 2), Sending, FlashReady, {}, true},
    Outcome{"transferReadFails_invalid", failFile(&F::failReadOpen, 2, 2), Sending, Line1, {}, true},
    Outcome{"transferEndTestFails_invalid", [](Rig &r, S &s) { failFile(&F::failReadOpen, 2, 3)(r, s); r.files.failAtEnd = true; }, Sending, Line2, {}, true},
    Outcome{"changedAfterCheck_badLineNotSent", [](Rig &r, S &) {
        r.files.beforeOpen = [&r](int opening) {
            if (opening == 2)
                r.setFirmware(":0400000001020304F2\r\n:0G\r\n");
        };
    }, Sending, Line1, {}, true}),
    caseName);
// clang-format on

TEST_F(UpdaterFixture, answerNo_touchesNeitherPortNorStatus)
{
    messages.answerYes = false;
    updater.btnSend_Click();
    EXPECT_EQ(messages.shown,
              QStringList({"Update Veltrax?  This will also reset all parameters under "
                           "the PROGRAM menu (E1) to factory defaults."}));
    EXPECT_EQ(window.statuses, QStringList({Idle}));
    EXPECT_EQ(line.openCalls, 0);
    EXPECT_EQ(window.holds, QStringList({"Disable", "Stop", "Send", "ApplyDebugView", "Restore"}));
    expectWindowBack();
}

TEST_F(UpdaterFixture, portWontOpen_commsErrorWithoutClose)
{
    line.openFails = true;
    updater.btnSend_Click();
    EXPECT_EQ(window.status(), CommsError);
    EXPECT_TRUE(line.wire().isEmpty());
    EXPECT_EQ(line.closeCalls, 0);
    EXPECT_EQ(window.holds, QStringList({"Disable", "Stop", "Send", "ApplyDebugView", "Restore"}));
}

TEST_F(UpdaterFixture, wholeUpdate_transcriptTimingLogAndProgress)
{
    script(MonitorScript{});
    updater.btnSend_Click();

    EXPECT_EQ(window.status(), Success);
    EXPECT_EQ(line.wire().toHex(' '), transcriptUpTo(RebootReq).toHex(' '));
    EXPECT_EQ(window.statuses.mid(1, 9),
              QStringList({"Attempting to reboot veltrax:...", "Waiting for ACK or boot...",
                           "Waiting for boot...", "Waiting for \"MON: \"...", "Got Prompt...",
                           "Setting up... (ENQ1)", "Waiting for Flash", "Setting up... (ENQ2)",
                           "Sending file..."}));
    // ACK + "boot", "MON: ", flash ready, three line ACKs, "CODE OK", reset, reboot.
    EXPECT_EQ(window.log,
              "6 62 6F 6F 74 4D 4F 4E 3A 20 80 6 6 6 43 4F 44 45 20 4F 4B 6 6 6 62 6F 6F 74 ");
    EXPECT_EQ(window.sentLine, ":00000001FF");
    EXPECT_EQ(window.maximum, ThreeRecords.size());
    EXPECT_EQ(window.value, ThreeRecords.size());
    EXPECT_EQ(window.eventPasses, 3);
    // The monitor's pacing: ENQs 100 ms apart, the pauses before reset and reboot.
    EXPECT_EQ(sentTime(0x05, 2) - sentTime(0x05, 1), 100ms);
    EXPECT_EQ(sentTime(0x05, 3) - sentTime(0x05, 2), 2000ms + 100ms);
    EXPECT_EQ(sentTime(0x1b, 2) - sentTime(0xff, 1), 10ms + 300ms + 5000ms + 50ms);
    EXPECT_EQ(sentTime(0x1b, 3) - sentTime(0x3c, 1), 10ms + 1000ms + 50ms);
    // The file is read where start-up found it.
    EXPECT_EQ(files.paths.filter(window.path).size(), files.paths.size());
    expectWindowBack();
}

struct LineForm {
    const char *name;
    QByteArray file;
    QByteArray linesWire; // hex
    double progress;
    std::vector<QByteArray> answers = {};
    QString status = Success;
};

void PrintTo(const LineForm &f, std::ostream *os)
{
    *os << f.name;
}

class LineForms : public ::testing::TestWithParam<LineForm>, public Rig {};

TEST_P(LineForms, sendTheirPairsAfterSoh)
{
    const LineForm &f = GetParam();
    setFirmware(f.file);
    MonitorScript s;
    s.lineAnswers = f.answers;
    script(s);
    updater.btnSend_Click();
    EXPECT_EQ(window.status(), f.status);
    QByteArray expected = transcriptUpTo(FlashReady) + QByteArray::fromHex(f.linesWire);
    if (f.status == Success)
        expected += Esc + ResetRequest + Esc + RebootRequest;
    EXPECT_EQ(line.wire().toHex(' '), expected.toHex(' '));
    EXPECT_EQ(window.value, f.progress);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(, LineForms, ::testing::Values(
    LineForm{"endOfFileRecord", ":00000001FF\r\n", "0100000001FF", 13},
    LineForm{"oneChar_sohOnly", "x\r\n", "01", 3},
    LineForm{"twoChars_sohOnly", "xy\r\n", "01", 3},
    LineForm{"emptyLine_sohOnlyAndAcked", "\r\n", "01", 3},
    LineForm{"anyFirstCharMixedCase", "Z0a1B\r\n", "010A1B", 7},
    LineForm{"evenLength_lastCharDropped", ":0A1\r\n", "010A", 5},
    LineForm{"lfEnds", ":00\n:01\n", "0100 0101", 10},
    LineForm{"noFinalLineEnd", ":0A", "010A", 5},
    LineForm{"emptyLinesCounted", "\r\n:00\r\n\r\n", "01 0100 01", 8, {Ack, Ack, Nak}, "Failed at line 3 (NAK)"}),
    caseName);
// clang-format on

// 16-bit counters would wrap here.
TEST_F(UpdaterFixture, pastSixteenBitLineNumbersAndPositions_sentWhole)
{
    const QByteArray longLine = ':' + QByteArray(2 * 35000, 'A') + "\r\n";
    setFirmware(QByteArray(":00\r\n").repeated(40000) + longLine);
    script(MonitorScript{});
    updater.btnSend_Click();
    EXPECT_EQ(window.status(), Success);
    EXPECT_EQ(window.value, 5 * 40000 + longLine.size());
    const QByteArray lines =
        QByteArray("\x01\x00", 2).repeated(40000) + '\x01' + QByteArray(35000, '\xaa');
    EXPECT_TRUE(line.wire() ==
                transcriptUpTo(FlashReady) + lines + Esc + ResetRequest + Esc + RebootRequest);
}

TEST_F(UpdaterFixture, line32768Rejected_namedInFull)
{
    setFirmware(QByteArray(":00\r\n").repeated(40000));
    MonitorScript s;
    s.lineAnswers.assign(32768, Ack);
    s.lineAnswers.back() = "\x15";
    script(s);
    updater.btnSend_Click();
    EXPECT_EQ(window.status(), "Failed at line 32768 (NAK)");
}

} // namespace
