// Every way an update can end, driven through "Send File" against a scripted
// monitor: the status left behind, the exact bytes on the wire, the window back.
#include "UpdaterFixture.h"

namespace {

const QString Success("Update Successful"), Idle("Valid file selected.");
const QString ResetStopped("Stopped by user! | Error Reseting Veltrax Defaults");
const QString RebootFailed("Error Rebooting Veltrax"), ResetFailed("Error Reseting Veltrax Defaults");
const QByteArray X16(16, 'x'), X31(31, 'x');

using Change = std::function<void(Rig &)>;

// One way an update ends. The monitor answers every stage as it should and the
// update succeeds unless the row says otherwise.
// clang-format off
struct Case {
    const char *name = "";
    Stage changed = Nothing; // the stage whose answer differs
    Arrivals answer;
    QString statuses = Success;  // the last ones shown, " | " between them
    Stage lastStage = RebootReq; // the last stage whose bytes went out
    Change change = {};
    QString refusal = {}; // logged for a file refused before anything is sent

    Case &answers(Stage stage, Arrivals arrivals) { changed = stage; answer = std::move(arrivals); return *this; }
    // Ends showing `shown`, the changed stage's bytes the last ones sent.
    Case &fails(QString shown) { statuses = std::move(shown); lastStage = changed; return *this; }
    Case &endsAfter(Stage stage) { lastStage = stage; return *this; }
    Case &with(Change action) { change = std::move(action); return *this; }
    // "Invalid File", nothing sent, and the reason logged.
    Case &refused(QString reason) { refusal = std::move(reason); statuses = Idle; lastStage = Nothing; return *this; }
};
// clang-format on
Case update(const char *name)
{
    Case named;
    named.name = name;
    return named;
}
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// A click on Stop (or the adapter pulled) some time after a stage's bytes went out.
Change stopAfter(Stage stage, ms after, bool pull = false)
{
    return [=](Rig &r) {
        r.line.whenSent(StageBytes[stage], after,
                        [&r, pull] { pull ? r.line.pullAdapter() : r.updater.btnStop_Click(); });
    };
}

class UpdateOutcome : public ::testing::TestWithParam<Case>, public Rig {};

TEST_P(UpdateOutcome, leavesItsStatusAndWire)
{
    const Case &c = GetParam();
    script(RebootReq, c.changed, c.answer);
    if (c.change)
        c.change(*this);
    updater.btnSend_Click();

    const qsizetype shown = c.statuses.count(" | ") + 1;
    EXPECT_EQ(window.statuses.mid(window.statuses.size() - shown).join(" | "), c.statuses);
    EXPECT_EQ(line.wire.toHex(' '), transcriptUpTo(c.lastStage).toHex(' '));
    EXPECT_EQ(messages.shown.contains("Invalid File"), !c.refusal.isEmpty());
    // One warning line per refused file, naming it and the reason.
    const QStringList refusals = warnings.filter("refused");
    const QString reason = "Firmware file " + window.path + " refused: " + c.refusal;
    EXPECT_EQ(refusals, c.refusal.isEmpty() ? QStringList() : QStringList{reason});
    // Every way out restores the window once, with Send back, and closes the port;
    // the file is read once, before anything is sent.
    EXPECT_EQ(window.holds.join(' '), "Disable Stop Send ApplyDebugView Restore");
    EXPECT_FALSE(line.open);
    EXPECT_LE(files.wholeReads, 1);
}

// clang-format off
// Counted-time limits met in the last read they allow and just after (ACKs in the
// flash wait neither advance nor restart it); character limits; texts matched
// case-sensitively; Stop in each kind of wait, overridden before the transfer
// begins; link and file faults. A file that cannot succeed is refused before
// anything is sent; the file is read once before the erase, so what happens to
// it then changes nothing.
INSTANTIATE_TEST_SUITE_P(Update, UpdateOutcome, ::testing::Values(
    update("prompt_in11thRead_arrives").answers(Access, {{1150ms, "MON: "}}),
    update("prompt_after11thRead_fails").answers(Access, {{1151ms, "MON: "}}).fails("Timeout waiting for \"MON: \"!"),
    update("flash_ackNeitherAdvancesCount_ready").answers(::SetUp, {{5050ms, Ack}, {30150ms, "\x80"}}),
    update("flash_norRestartsIt_fails").answers(::SetUp, {{5050ms, Ack}, {30151ms, "\x80"}}).fails("Timeout waiting for flash... try again"),
    update("lineAck_in11thRead_accepted").answers(Line1, {{1100ms, Ack}}),
    update("lineAck_after11thRead_fails").answers(Line1, {{1101ms, Ack}}).fails("Failed at line 1 (timeout)"),
    update("verdict_in151stRead_accepted").answers(Line4, {{10ms, Ack}, {15110ms, "CODE OK"}}),
    update("verdict_after151stRead_fails").answers(Line4, {{10ms, Ack}, {15111ms, "CODE OK"}}).fails("Timeout waiting for verification... try again"),
    // Each phase of the reset handshake tolerates ten empty reads; the eleventh fails.
    update("resetAck_in11thRead_accepted").answers(ResetReq, {{1100ms, Ack}}),
    update("resetAck_after11thRead_fails").answers(ResetReq, {{1101ms, Ack}}).fails("Timeout waiting for ACK (reset) | " + ResetFailed),
    // The rebooted instrument: one read of 100 ms for its ACK, 5000 ms between the bytes of its text.
    update("rebootEscAck_in100ms_accepted").answers(RebootEsc, {{100ms, Ack}}),
    update("rebootEscAck_after100ms_fails").answers(RebootEsc, {{101ms, Ack}}).fails("Waiting for ACK or boot... | " + RebootFailed),
    update("rebootText_5000msPause_accepted").answers(RebootReq, {{20ms, "bo"}, {5020ms, "ot"}}),
    update("rebootText_longerPause_fails").answers(RebootReq, {{20ms, "bo"}, {5021ms, "ot"}}).fails("Waiting for boot... | " + RebootFailed),
    update("prompt_as16thChar_arrives").answers(Access, {{10ms, QByteArray(11, 'x') + "MON: "}}),
    update("prompt_16CharsWithout_fails").answers(Access, {{10ms, X16}}).fails("Did not get \"MON: \"!"),
    update("flash_otherByte_fails").answers(::SetUp, {{2000ms, Nak}}).fails("Failed to erase flash... try again"),
    update("line3_nak_fails").answers(Line3, {{10ms, Nak}}).fails("Failed at line 3 (NAK)"),
    update("line3_cr_fails").answers(Line3, {{10ms, "\r"}}).fails("Failed at line 3 (0xD)"),
    update("verdict_codeBad_fails").answers(Line4, {{10ms, Ack}, {310ms, "CODE BAD"}}).fails("File sent UNsuccessfully! (Got Error)"),
    update("verdict_codeOkEnding25Chars_accepted").answers(Line4, {{10ms, Ack}, {310ms, QByteArray(18, 'x') + "CODE OK"}}),
    update("verdict_codeOkEnding26Chars_tooMany").answers(Line4, {{10ms, Ack}, {310ms, QByteArray(19, 'x') + "CODE OK"}}).fails("File sent UNsuccessfully! (Got to many chars)"),
    update("resetEsc_strayByteBeforeAck_fails").answers(ResetEsc, {{10ms, Nak}, {20ms, Ack}}).fails("Timeout waiting for ACK (reset) | " + ResetFailed),
    update("reboot_bootAs31stCharWithoutAck_noRequest").answers(RebootEsc, {{10ms, QByteArray(27, 'x') + "boot"}}).endsAfter(RebootEsc),
    update("reboot_31CharsWithoutBoot_fails").answers(RebootEsc, {{10ms, X31}}).fails("Did not got boot (reboot)! | " + RebootFailed),
    update("reboot_acksCountAfterRequest_32Chars").answers(RebootReq, {{20ms, QByteArray(27, '\x06') + "xboot"}}).fails("Did not get boot (reboot)! | " + RebootFailed),
    update("reboot_upperCaseBoot_fails").answers(RebootReq, {{20ms, "BOOT"}}).fails("Waiting for boot... | " + RebootFailed),
    update("prompt_lowerCase_timesOut").answers(Access, {{10ms, "mon: "}}).fails("Timeout waiting for \"MON: \"!"),
    update("verdict_lowerCase_timesOut").answers(Line4, {{10ms, Ack}, {310ms, "code ok"}}).fails("Timeout waiting for verification... try again"),
    update("bootWaitWithoutLimit_stopped").answers(EntryEsc, {}).with(stopAfter(EntryEsc, 3000ms)).fails("Stopped by user!"),
    update("promptWait_stopped").answers(Access, {}).with(stopAfter(Access, 300ms)).fails("Stopped by user!"),
    update("verification_stopped").answers(Line4, {{10ms, Ack}}).with(stopAfter(Line4, 5000ms)).fails("Stopped by user!"),
    update("resetWait_stopped").answers(ResetReq, {}).with(stopAfter(ResetReq, 500ms)).fails(ResetStopped),
    update("resetPause_stoppedButEscSent").with(stopAfter(Line4, 2000ms)).fails(ResetStopped).endsAfter(ResetEsc),
    update("whilePortSettles_overridden").with([](Rig &r) { r.line.at(100ms, [&r] { r.updater.btnStop_Click(); }); }),
    update("resetPause_pulled").with(stopAfter(Line4, 2000ms, true)).fails("Communitcations error.").endsAfter(Line4),
    update("portWontOpen").with([](Rig &r) { r.line.openFails = true; }).fails("Communitcations error."),
    update("answerNo_untouched").with([](Rig &r) { r.messages.answerYes = false; }).fails(Idle),
    update("missing_refused").with([](Rig &r) { r.files.files.clear(); }).refused("no such file"),
    update("unreadable_refused").with([](Rig &r) { r.files.readFails = true; }).refused("injected failure (error 75)"),
    update("lowNibbleOnLine2_refused").with([](Rig &r) { r.files.files[r.window.path] = ":01002000AA35\n:0G\n" + Firmware; })
        .refused("line 2: a pair is not two hexadecimal digits"),
    update("rewrittenDuringErase_sentAsChecked").with([](Rig &r) {
        r.line.whenSent("\x05\x05", 1000ms, [&r] { r.files.files[r.window.path] = ":00000001FF\r\n"; }); })),
    [](const auto &info) { return info.param.name; });

// The transfer starts from an empty log and no progress, whatever an earlier
// update left.
TEST(WholeUpdate, everyStatusLogEntryAndProgress)
{
    Rig r;
    r.window.log = "old ";
    r.window.value = 7;
    r.script();
    r.updater.btnSend_Click();

    EXPECT_EQ(r.window.statuses.join(" | "), "Valid file selected. | Attempting to reboot veltrax:... | "
        "Waiting for ACK or boot... | Waiting for boot... | Waiting for \"MON: \"... | Got Prompt... | "
        "Setting up... (ENQ1) | Waiting for Flash | Setting up... (ENQ2) | Sending file... | Sending file... | "
        "Sending file... | Sending file... | Sending file... | File sent, waiting for verification... | "
        "File sent successfully! (Got Verification) | Resetting Defaults | Waiting for ACK... (reset) | "
        "Waiting for ACK (reset)... | Reset OK | Rebooting Veltrax | Waiting for ACK or boot... | "
        "Waiting for boot... | Update Successful");
    // ACK, "boot" (its CR LF flushed), "MON: ", flash ready, four line ACKs, "CODE OK", reset, reboot.
    EXPECT_EQ(r.window.log, "6 62 6F 6F 74 4D 4F 4E 3A 20 80 6 6 6 6 43 4F 44 45 20 4F 4B 6 6 6 62 6F 6F 74 ");
    // Each line adds its last position: 20 + 1, 14 + 1, 16 + 1 and 12 + 1, of 67 bytes.
    EXPECT_EQ(r.window.maximum, 67);
    EXPECT_EQ(r.window.value, 66);
    EXPECT_EQ(r.files.wholeReads, 1);
}

// The monitor needs its pauses: each byte below goes out that long after the
// one before it, with an instrument that answers at once; and the input is
// flushed at these moments, the first 200 ms after the port settled.
TEST(WholeUpdate, eachPauseBeforeItsByte_eachFlushAndReadAtItsMoment)
{
    Rig r;
    for (int stage = EntryEsc; stage <= RebootReq; ++stage) {
        Arrivals atOnce;
        for (const ScriptedInstrument::Arrival &arrival : Answers[stage])
            atOnce.push_back({0ms, arrival.second});
        r.line.answer(StageBytes[stage], atOnce);
    }
    r.updater.btnSend_Click();
    ASSERT_EQ(r.window.status(), Success);

    const auto sentAt = [&r](Stage stage, int byte) {
        return r.line.sentAt.at(transcriptUpTo(Stage(stage - 1)).size() + byte);
    };
    const struct { Stage stage; int byte; ms pause; const char *why; } rows[] = {
        {EntryEsc, 0, 450ms, "port settling 200, line quiet 200, 50 before ESC"},
        {EntryReboot, 0, 50ms, "50 before the reboot request"},
        {Access, 0, 100ms, "100 before the access word"},
        {::SetUp, 0, 150ms, "50 at the start of WaitForText, 100 before the ENQ"},
        {::SetUp, 1, 100ms, "100 before the second ENQ"},
        {FlashReady, 0, 100ms, "100 before the third ENQ"},
        {Line1, 0, 0ms, "the first line at once"},
        {ResetEsc, 0, 5050ms, "5000 before the reset, 50 before its ESC"},
        {ResetReq, 0, 50ms, "50 before the reset request"},
        {RebootEsc, 0, 1050ms, "1000 before the reboot, 50 before its ESC"},
        {RebootReq, 0, 50ms, "50 before the reboot request"},
    };
    ms previous{0};
    for (const auto &row : rows) {
        EXPECT_EQ((sentAt(row.stage, row.byte) - previous).count(), row.pause.count()) << row.why;
        previous = sentAt(row.stage, row.byte);
    }
    // Within a request, a word or a line, bytes follow without a pause.
    for (int stage = EntryEsc; stage <= RebootReq; ++stage) {
        const int first = stage == ::SetUp ? 1 : 0;
        for (int byte = first; byte < StageBytes[stage].size(); ++byte)
            EXPECT_EQ(sentAt(Stage(stage), byte), sentAt(Stage(stage), first)) << stage;
    }
    // Each flush throws away what came before it, and only that: the stage
    // whose bytes went out last before it.
    const std::pair<ms, Stage> flushes[] = {
        {400ms, Nothing}, {450ms, Nothing}, {500ms, EntryEsc}, {500ms, EntryReboot},
        {950ms, FlashReady}, {950ms, Line1}, {950ms, Line2}, {950ms, Line3},
        {6000ms, Line4}, {6050ms, ResetEsc}, {7100ms, ResetReq}, {7150ms, RebootEsc}};
    std::vector<std::pair<ms, qsizetype>> expected;
    for (const auto &[moment, after] : flushes)
        expected.emplace_back(moment, transcriptUpTo(after).size());
    EXPECT_EQ(r.line.flushes, expected);
    // Reads of 100 ms, so that Stop is seen, but in the wait for the rebooted
    // instrument's text, which allows 5000 ms between its bytes.
    for (const auto &[began, timeout] : r.line.reads)
        EXPECT_EQ(timeout, began >= sentAt(RebootReq, 0) ? 5000ms : 100ms) << began.count();
}

// clang-format on

// Past 32,767 lines and 32,766 characters a 16-bit counter would wrap: the
// long line would go out wrong and the failure would name the wrong line. An
// empty line goes out as SOH alone and is counted. No checked file holds such
// lines, so the transfer is driven beneath the check.
TEST(BigFile, countersPastSixteenBits_emptyLineCounted)
{
    Rig r;
    const QByteArray content =
        QByteArray(":00\r\n").repeated(40000) + "\r\n" + ':' + QByteArray(70000, 'A') + "\r\n";
    const QByteArray shortLine("\x01\x00", 2), longLine = '\x01' + QByteArray(35000, '\xaa');
    r.script(FlashReady);
    for (int i = 0; i < 40000; ++i)
        r.line.answer(shortLine, {{10ms, Ack}});
    r.line.answer("\x01", {{10ms, Ack}});
    r.line.answer(longLine, {{10ms, Nak}});
    r.line.open = true;
    EXPECT_FALSE(r.updater.sendFirmwareImage(FirmwareImageTestAccess::unchecked(content)));
    EXPECT_EQ(r.window.status(), "Failed at line 40002 (NAK)");
    EXPECT_TRUE(r.line.wire ==
                transcriptUpTo(FlashReady) + shortLine.repeated(40000) + '\x01' + longLine);
    // Each short line adds 4 + 1, the empty line 2 + 1; the maximum is the size.
    EXPECT_EQ(r.window.value, 40000 * 5 + 3);
    EXPECT_EQ(r.window.maximum, content.size());
}

} // namespace

// Send ESC by hand: 50 ms, a flush, "Sending ESC" shown, then one ESC; the
// answer logged as it came and not judged; an answer slower than the 100 ms
// read is left for whatever comes next.
TEST(SendEsc, oneEscAndTheAnswerLogged)
{
    for (const auto &[after, logged] : {std::pair{30ms, "6 "}, {150ms, ""}}) {
        Rig r;
        r.line.open = true;
        r.line.inject(40ms, "z"); // before the flush
        r.line.answer(Esc, {{after, Ack}});
        QString shownAtEsc;
        r.line.onSend = [&](std::uint8_t) { shownAtEsc = r.window.status(); };
        r.updater.btnESC_Click();
        EXPECT_EQ(r.line.wire, Esc);
        EXPECT_EQ(r.line.sentAt, std::vector<ms>{50ms});
        EXPECT_EQ(r.line.flushes, (std::vector<std::pair<ms, qsizetype>>{{50ms, 0}}));
        EXPECT_EQ(shownAtEsc, "Sending ESC");
        EXPECT_EQ(r.window.status(), "Sending ESC");
        EXPECT_EQ(r.window.log, logged);
    }
}
