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
const QString PromptTimeout = QStringLiteral("Timeout waiting for \"MON: \"!");
const QString FlashTimeout = QStringLiteral("Timeout waiting for flash... try again");
const QString VerifyTimeout = QStringLiteral("Timeout waiting for verification... try again");
const QString ResetTimeout = QStringLiteral("Timeout waiting for ACK (reset)");
const QString Sending = QStringLiteral("Sending file...");
const QByteArray Line2Sent = stageBytes(Line2), Line3Sent = stageBytes(Line3);
const QByteArray Chars27(27, 'x'), Acks27(27, '\x06');

using S = MonitorScript;
using F = MemoryFileSystem;
using Change = std::function<void(Rig &, S &)>;

struct Outcome {
    const char *name;
    Change change;
    QString finalStatus;
    Stage lastStage;
    QString stepStatus = {}; // what the failing step showed before the sequence's own text
    bool invalidFile = false;
};
template <typename T> Change set(T S::*field, typename std::common_type<T>::type value)
{
    return [=](Rig &, S &s) { s.*field = value; };
}
// A click on Stop (or the adapter pulled) some time after a byte sequence went out.
Change stopAfter(QByteArray trigger, ms after, int occurrence = 1, Change more = {},
                 bool pull = false)
{
    return [=](Rig &r, S &s) {
        const auto act = [&r, pull] { pull ? r.line.pullAdapter() : r.updater.btnStop_Click(); };
        r.line.whenSent(trigger, after, act, occurrence);
        if (more)
            more(r, s);
    };
}
Change stopAt(ms moment)
{
    return [=](Rig &r, S &) { r.line.at(moment, [&r] { r.updater.btnStop_Click(); }); };
}
Change failFile(int F::*field, int value, int line = 0, bool atEnd = false)
{
    return [=](Rig &r, S &) {
        r.files.*field = value;
        r.files.failReadLine = line;
        r.files.failAtEnd = atEnd;
    };
}
Change firmware(QByteArray content)
{
    return [=](Rig &r, S &) { r.setFirmware(content); };
}

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
    EXPECT_EQ(line.wire.toHex(' '), transcriptUpTo(o.lastStage).toHex(' '));
    EXPECT_EQ(messages.shown.contains(QStringLiteral("Invalid File")), o.invalidFile);
    EXPECT_EQ(line.openCalls, messages.answerYes ? 1 : 0);
    EXPECT_EQ(line.closeCalls, line.openFails ? 0 : 1); // a port that did not open is not closed
    expectWindowBack();
}

const auto caseName = [](const auto &info) { return info.param.name; };

// clang-format off
// The counted-time limits, each met one read early and exactly at the limit;
// bytes neither advance nor restart the count.
INSTANTIATE_TEST_SUITE_P(Limits, UpdateOutcome, ::testing::Values(
    Outcome{"prompt_in11thRead_arrives", set(&S::prompt, {{1100ms, "MON: "}}), Success, RebootReq},
    Outcome{"prompt_at11thTimeout_fails", set(&S::prompt, {{1150ms, "MON: "}}), PromptTimeout, Access},
    Outcome{"prompt_strayBytesCostNoTime_arrives", set(&S::prompt, {{350ms, "x"}, {750ms, "y"}, {1100ms, "MON: "}}), Success, RebootReq},
    Outcome{"prompt_strayBytesRestartNothing_fails", set(&S::prompt, {{350ms, "x"}, {750ms, "y"}, {1150ms, "MON: "}}), PromptTimeout, Access},
    Outcome{"flash_in301stRead_ready", set(&S::flash, {{30050ms, "\x80"}}), Success, RebootReq},
    Outcome{"flash_at301stTimeout_fails", set(&S::flash, {{30100ms, "\x80"}}), FlashTimeout, SetUp},
    Outcome{"flash_ackDoesNotAdvanceCount_ready", set(&S::flash, {{5050ms, Ack}, {30140ms, "\x80"}}), Success, RebootReq},
    Outcome{"flash_ackDoesNotRestartCount_fails", set(&S::flash, {{5050ms, Ack}, {30150ms, "\x80"}}), FlashTimeout, SetUp},
    Outcome{"lineAck_in11thRead_accepted", set(&S::lineAfter, 1050ms), Success, RebootReq},
    Outcome{"lineAck_at11thTimeout_fails", set(&S::lineAfter, 1100ms), "Failed at line 1 (timeout)", Line1},
    Outcome{"verdict_in151stRead_accepted", set(&S::verdictAfter, 15050ms), Success, RebootReq},
    Outcome{"verdict_at151stTimeout_fails", set(&S::verdictAfter, 15100ms), VerifyTimeout, Line3},
    Outcome{"resetEscAck_in11thRead_accepted", set(&S::resetEsc, {{1050ms, Ack}}), Success, RebootReq},
    Outcome{"resetAck_at11thTimeout_fails", set(&S::reset, {{1100ms, Ack}}), ResetError, ResetReq, ResetTimeout},
    Outcome{"rebootEscAck_in99ms_accepted", set(&S::rebootEsc, {{99ms, Ack}}), Success, RebootReq},
    Outcome{"rebootEscAck_withTheTimeout_fails", set(&S::rebootEsc, {{100ms, Ack}}), RebootError, RebootEsc, "Waiting for ACK or boot..."},
    Outcome{"rebootText_in4999ms_accepted", set(&S::reboot, {{4999ms, "boot"}}), Success, RebootReq},
    Outcome{"rebootText_5000msPause_fails", set(&S::reboot, {{20ms, "bo"}, {5020ms, "ot"}}), RebootError, RebootReq, "Waiting for boot..."}),
    caseName);

// What each wait makes of the bytes it gets, up to its character limit.
INSTANTIATE_TEST_SUITE_P(Answers, UpdateOutcome, ::testing::Values(
    Outcome{"prompt_as16thChar_arrives", set(&S::prompt, {{10ms, QByteArray(11, 'x') + "MON: "}}), Success, RebootReq},
    Outcome{"prompt_16CharsWithout_fails", set(&S::prompt, {{10ms, QByteArray(16, 'x')}}), "Did not get \"MON: \"!", Access},
    Outcome{"flash_otherByte_fails", set(&S::flash, {{2000ms, Nak}}), "Failed to erase flash... try again", SetUp},
    // Noise after the flash-ready byte or after a line's ACK is not the next line's answer.
    Outcome{"flash_noiseAfterReady_flushed", set(&S::flash, {{2000ms, "\x80"}, {2050ms, "x"}}), Success, RebootReq},
    Outcome{"lineAck_trailingNoise_flushed", set(&S::lineAnswers, {"\x06x", "\x06x"}), Success, RebootReq},
    Outcome{"line3_nak_fails", set(&S::lineAnswers, {Ack, Ack, Nak}), "Failed at line 3 (NAK)", Line3},
    Outcome{"line3_cr_fails", set(&S::lineAnswers, {Ack, Ack, "\x0d"}), "Failed at line 3 (0xD)", Line3},
    Outcome{"verdict_codeBad_fails", set(&S::verdict, "CODE BAD"), "File sent UNsuccessfully! (Got Error)", Line3},
    Outcome{"verdict_codeOkEnding25Chars_accepted", set(&S::verdict, QByteArray(18, 'x') + "CODE OK"), Success, RebootReq},
    Outcome{"verdict_codeOkEnding26Chars_tooMany", set(&S::verdict, QByteArray(19, 'x') + "CODE OK"), "File sent UNsuccessfully! (Got to many chars)", Line3},
    Outcome{"verdict_lowerCase_timesOut", set(&S::verdict, "code ok"), VerifyTimeout, Line3},
    Outcome{"resetEsc_strayByte_fails", set(&S::resetEsc, {{10ms, Nak}}), ResetError, ResetEsc, ResetTimeout},
    Outcome{"reset_strayByte_fails", set(&S::reset, {{10ms, "boot"}}), ResetError, ResetReq, ResetTimeout},
    Outcome{"reboot_bootAs31stCharWithoutAck_noRequest", set(&S::rebootEsc, {{10ms, Chars27 + "boot"}}), Success, RebootEsc},
    Outcome{"reboot_31CharsWithoutBoot_fails", set(&S::rebootEsc, {{10ms, QByteArray(31, 'x')}}), RebootError, RebootEsc, "Did not got boot (reboot)!"},
    Outcome{"reboot_acksCountAfterRequest_bootAs31stChar", set(&S::reboot, {{20ms, Acks27 + "boot"}}), Success, RebootReq},
    Outcome{"reboot_acksCountAfterRequest_32Chars", set(&S::reboot, {{20ms, Acks27 + "xboot"}}), RebootError, RebootReq, "Did not get boot (reboot)!"},
    Outcome{"reboot_capitalisedBoot_noMatch", set(&S::reboot, {{20ms, QByteArray("Boot BOOT ").repeated(4)}}), RebootError, RebootReq, "Did not get boot (reboot)!"}),
    caseName);

// A click on Stop in each kind of wait; before the transfer has begun it is overridden.
INSTANTIATE_TEST_SUITE_P(Stops, UpdateOutcome, ::testing::Values(
    Outcome{"bootWaitWithoutLimit_stopped", stopAfter(Esc, 3000ms, 1, set(&S::esc, {})), Stopped, EntryEsc},
    Outcome{"bootTextWait_stopped", stopAfter(RebootRequest, 1000ms, 1, set(&S::boot, {})), Stopped, EntryReboot},
    Outcome{"promptWait_stopped", stopAfter(AccessWord, 300ms, 1, set(&S::prompt, {})), Stopped, Access},
    Outcome{"flashWait_stopped", stopAfter("\x05\x05", 10000ms, 1, set(&S::flash, {})), Stopped, SetUp},
    Outcome{"lineWait_stopped", stopAfter(Line2Sent, 500ms, 1, set(&S::lineAnswers, {Ack, ""})), Stopped, Line2},
    Outcome{"verification_stopped", stopAfter(Line3Sent, 5000ms, 1, set(&S::verdict, "")), Stopped, Line3},
    Outcome{"resetPause_stoppedButEscSent", stopAfter(Line3Sent, 2000ms), ResetError, ResetEsc, Stopped},
    Outcome{"resetWait_stopped", stopAfter(ResetRequest, 500ms, 1, set(&S::reset, {})), ResetError, ResetReq, Stopped},
    Outcome{"rebootPause_stopped", stopAfter(ResetRequest, 500ms), RebootError, RebootEsc, Stopped},
    Outcome{"rebootTextWait_stoppedWithinOneRead", stopAfter(RebootRequest, 1000ms, 2, set(&S::reboot, {{3000ms, "boot"}})), RebootError, RebootReq, Stopped},
    Outcome{"whilePortSettles_overridden", stopAt(100ms), Success, RebootReq},
    Outcome{"beforeDialogue_overridden", stopAt(300ms), Success, RebootReq}),
    caseName);

// The adapter pulled in the middle of an update, or a port that will not open.
INSTANTIATE_TEST_SUITE_P(PulledAdapter, UpdateOutcome, ::testing::Values(
    Outcome{"bootWaitWithoutLimit_commsError", stopAfter(Esc, 3000ms, 1, set(&S::esc, {}), true), CommsError, EntryEsc},
    Outcome{"lineWait_commsErrorFileClosed", stopAfter(Line2Sent, 5ms, 1, {}, true), CommsError, Line2},
    Outcome{"portWontOpen_commsErrorWithoutClose", [](Rig &r, S &) { r.line.openFails = true; }, CommsError, Nothing}),
    caseName);

// No to the question; a file that cannot be sent to its end is refused before
// the flash is erased; one that fails later ends the update the same way.
INSTANTIATE_TEST_SUITE_P(FileFaults, UpdateOutcome, ::testing::Values(
    Outcome{"answerNo_untouched", [](Rig &r, S &) { r.messages.answerYes = false; }, Idle, Nothing},
    Outcome{"missing_refused", [](Rig &r, S &) { r.files.files.clear(); }, Idle, Nothing, {}, true},
    Outcome{"badPairOnLine2_refused", firmware(":00000001FF\r\n:0G\r\n"), Idle, Nothing, {}, true},
    Outcome{"noLine_refused", firmware(""), Idle, Nothing, {}, true},
    Outcome{"sizeFails_refused", [](Rig &r, S &) { r.files.sizeFails = true; }, Idle, Nothing, {}, true},
    Outcome{"checkOpenFails_refused", failFile(&F::failOpen, 1), Idle, Nothing, {}, true},
    Outcome{"checkReadFails_refused", failFile(&F::failReadOpen, 1, 2), Idle, Nothing, {}, true},
    Outcome{"heldOpenFails_refused", failFile(&F::failOpen, 2), Idle, Nothing, {}, true},
    Outcome{"transferReadFails_invalid", failFile(&F::failReadOpen, 2, 2), Sending, Line1, {}, true},
    Outcome{"transferEndTestFails_invalid", failFile(&F::failReadOpen, 2, 3, true), Sending, Line2, {}, true},
    Outcome{"changedAfterCheck_badLineNotSent", [](Rig &r, S &) { r.files.beforeOpen = [&r](int opening) { if (opening == 2) r.setFirmware(":0400000001020304F2\r\n:0G\r\n"); }; }, Sending, Line1, {}, true}),
    caseName);
// clang-format on

TEST_F(UpdaterFixture, wholeUpdate_transcriptTimingLogAndProgress)
{
    script(MonitorScript{});
    updater.btnSend_Click();

    EXPECT_EQ(window.status(), Success);
    EXPECT_EQ(line.wire.toHex(' '), transcriptUpTo(RebootReq).toHex(' '));
    EXPECT_EQ(window.statuses.mid(1, 9),
              QStringList({"Attempting to reboot veltrax:...", "Waiting for ACK or boot...",
                           "Waiting for boot...", "Waiting for \"MON: \"...", "Got Prompt...",
                           "Setting up... (ENQ1)", "Waiting for Flash", "Setting up... (ENQ2)",
                           Sending}));
    // ACK + "boot", "MON: ", flash ready, three line ACKs, "CODE OK", reset, reboot.
    EXPECT_EQ(window.log,
              "6 62 6F 6F 74 4D 4F 4E 3A 20 80 6 6 6 43 4F 44 45 20 4F 4B 6 6 6 62 6F 6F 74 ");
    EXPECT_EQ(window.sentLine, ":00000001FF");
    EXPECT_EQ(window.maximum, ThreeRecords.size());
    EXPECT_EQ(window.value, ThreeRecords.size());
    EXPECT_EQ(window.eventPasses, 3);
    // The monitor's pacing: ENQs 100 ms apart, the pauses before reset and reboot.
    const auto sentTime = [&](char byte, int n) {
        qsizetype at = -1;
        while (n-- > 0)
            at = line.wire.indexOf(byte, at + 1);
        return at < 0 ? ms{-1} : line.sentAt[static_cast<std::size_t>(at)];
    };
    EXPECT_EQ(sentTime(0x05, 2) - sentTime(0x05, 1), 100ms);
    EXPECT_EQ(sentTime(0x05, 3) - sentTime(0x05, 2), 2000ms + 100ms);
    EXPECT_EQ(sentTime('\xff', 1) + 10ms + 300ms + 5000ms + 50ms, sentTime(0x1b, 2));
    EXPECT_EQ(sentTime(0x3c, 1) + 10ms + 1000ms + 50ms, sentTime(0x1b, 3));
    expectWindowBack();
}

TEST(HexLine, pairsFromTheSecondCharacter_oneThatWouldBeSentMustBeHex)
{
    const struct {
        const char *line, *hex; // hex nullptr: refused
        qint64 endPosition;
    } rows[] = {
        {":00000001FF", "00000001ff", 12},
        {"", "", 2},
        {"x", "", 2},
        {"xy", "", 2},
        {"Z0a1B", "0a1b", 6},
        {":0A1", "0a", 4},
        {":00G", "00", 4}, // a lone last character is never sent, so never judged
        {"G00", "00", 4},  // nor is the first
        {":0G", nullptr, 0},
        {":G0", nullptr, 0},
        {":  ", nullptr, 0},
        {":-1", nullptr, 0},
        {":00000001FF0x", nullptr, 0},
        {":0\xff", nullptr, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        const std::optional<HexLine> decoded = decodeHexLine(row.line);
        ASSERT_EQ(decoded.has_value(), row.hex != nullptr);
        if (decoded) {
            EXPECT_EQ(decoded->bytes.toHex(), QByteArray(row.hex));
            EXPECT_EQ(decoded->endPosition, row.endPosition);
        }
    }
}

TEST(LineForms, eachLineSentAsItsPairsAfterSoh_progressByPosition)
{
    const struct {
        QByteArray file, linesWire; // hex
        double progress;
        std::vector<QByteArray> answers;
        QString status;
    } rows[] = {
        // Any first character; a lone last character dropped; LF or no line end.
        {"x\r\nxy\r\n\r\nZ0a1B\r\n:0A1\n:00000001FF",
         "01 01 01 010A1B 010A 0100000001FF",
         34,
         {},
         Success},
        {"\r\n:00\r\n\r\n", "01 0100 01", 8, {Ack, Ack, Nak}, "Failed at line 3 (NAK)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        Rig rig;
        rig.setFirmware(row.file);
        MonitorScript s;
        s.lineAnswers = row.answers;
        rig.script(s);
        rig.updater.btnSend_Click();
        EXPECT_EQ(rig.window.status(), row.status);
        QByteArray expected = transcriptUpTo(FlashReady) + QByteArray::fromHex(row.linesWire);
        if (row.status == Success)
            expected += Esc + ResetRequest + Esc + RebootRequest;
        EXPECT_EQ(rig.line.wire.toHex(' '), expected.toHex(' '));
        EXPECT_EQ(rig.window.value, row.progress);
    }
}

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
    EXPECT_TRUE(line.wire ==
                transcriptUpTo(FlashReady) + lines + Esc + ResetRequest + Esc + RebootRequest);
}

TEST_F(UpdaterFixture, line32768Refused_namedInFull)
{
    setFirmware(QByteArray(":00\r\n").repeated(40000));
    MonitorScript s;
    s.lineAnswers.assign(32768, Ack);
    s.lineAnswers.back() = Nak;
    script(s);
    updater.btnSend_Click();
    EXPECT_EQ(window.status(), "Failed at line 32768 (NAK)");
}

TEST_F(UpdaterFixture, escButton_logsAnyAnswerUnjudged)
{
    updater.btnESC_Click(); // port closed: nothing goes out, nothing comes back
    line.open = true;
    line.answer(Esc, {{10ms, "A"}});
    updater.btnESC_Click();
    EXPECT_EQ(line.wire, Esc);
    EXPECT_EQ(window.log, "41 ");
    EXPECT_EQ(window.statuses, QStringList({Idle, "Sending ESC", "Sending ESC"}));
}

TEST_F(UpdaterFixture, waitForText_zeroLimit_waitsForEver)
{
    line.open = true;
    window.running = true;
    line.arriveAt(600000ms, "MON: ");
    EXPECT_TRUE(updater.WaitForText("MON: ", 0ms));
}

} // namespace
