// Every way an update can end, driven through "Send File" against a scripted
// monitor: the status left behind, the exact bytes on the wire, the window back.
#include "UpdaterFixture.h"

namespace {

const QString Success("Update Successful"), Idle("Valid file selected.");
const QString ResetStopped("Stopped by user! | Error Reseting Veltrax Defaults");

using Change = std::function<void(Rig &)>;

struct Outcome {
    const char *name;
    Stage changed; // the stage whose answer differs, if any
    Arrivals answer;
    QString statuses; // the last ones shown, " | " between them
    Stage lastStage;
    Change change = {};
    bool invalidFile = false;
};
// A click on Stop (or the adapter pulled) some time after a stage's bytes went out.
Change stopAfter(Stage stage, ms after, bool pull = false)
{
    return [=](Rig &r) {
        r.line.whenSent(StageBytes[stage], after,
                        [&r, pull] { pull ? r.line.pullAdapter() : r.updater.btnStop_Click(); });
    };
}
Change firmware(QByteArray content)
{
    return [=](Rig &r) { r.files.files[r.window.path] = content; };
}
// Line noise that comes unasked at that moment of the update.
Change noise(ms moment, QByteArray bytes)
{
    return [=](Rig &r) { r.line.inject(moment, bytes); };
}
const QByteArray X16(16, 'x'), X31(31, 'x');

class UpdateOutcome : public ::testing::TestWithParam<Outcome>, public Rig {};

TEST_P(UpdateOutcome, leavesItsStatusAndWire)
{
    const Outcome &o = GetParam();
    script(RebootReq, o.changed, o.answer);
    if (o.change)
        o.change(*this);
    updater.btnSend_Click();

    const qsizetype shown = o.statuses.count(" | ") + 1;
    EXPECT_EQ(window.statuses.mid(window.statuses.size() - shown).join(" | "), o.statuses);
    EXPECT_EQ(line.wire.toHex(' '), transcriptUpTo(o.lastStage).toHex(' '));
    EXPECT_EQ(messages.shown.contains("Invalid File"), o.invalidFile);
    // Every way out restores the window once, with Send back, and closes port and file.
    EXPECT_EQ(window.holds.join(' '), "Disable Stop Send ApplyDebugView Restore");
    EXPECT_FALSE(line.open);
    EXPECT_LE(files.wholeReads, 1);
}

// clang-format off
// Counted-time limits met in the last read they allow and just after (ACKs in the
// flash wait neither advance nor restart it); character limits; texts matched
// case-sensitively; each flush discarding what came before it; Stop in each
// wait, overridden before the transfer begins; link and file faults. A file that
// cannot succeed is refused before anything is sent; the file is read once
// before the erase, so what happens to it then changes nothing.
INSTANTIATE_TEST_SUITE_P(Update, UpdateOutcome, ::testing::Values(
    Outcome{"prompt_in11thRead_arrives", Access, {{1150ms, "MON: "}}, Success, RebootReq},
    Outcome{"prompt_after11thRead_fails", Access, {{1151ms, "MON: "}}, "Timeout waiting for \"MON: \"!", Access},
    Outcome{"flash_ackNeitherAdvancesCount_ready", SetUp, {{5050ms, Ack}, {30150ms, "\x80"}}, Success, RebootReq},
    Outcome{"flash_norRestartsIt_fails", SetUp, {{5050ms, Ack}, {30151ms, "\x80"}}, "Timeout waiting for flash... try again", SetUp},
    Outcome{"lineAck_in11thRead_accepted", Line1, {{1100ms, Ack}}, Success, RebootReq},
    Outcome{"lineAck_after11thRead_fails", Line1, {{1101ms, Ack}}, "Failed at line 1 (timeout)", Line1},
    Outcome{"verdict_in151stRead_accepted", Line4, {{10ms, Ack}, {15110ms, "CODE OK"}}, Success, RebootReq},
    Outcome{"verdict_after151stRead_fails", Line4, {{10ms, Ack}, {15111ms, "CODE OK"}}, "Timeout waiting for verification... try again", Line4},
    // The reset handshake tolerates ten empty reads in each phase; the eleventh fails.
    Outcome{"resetEscAck_in11thRead_accepted", ResetEsc, {{1100ms, Ack}}, Success, RebootReq},
    Outcome{"resetEscAck_after11thRead_fails", ResetEsc, {{1101ms, Ack}}, "Timeout waiting for ACK (reset) | Error Reseting Veltrax Defaults", ResetEsc},
    Outcome{"resetAck_in11thRead_accepted", ResetReq, {{1100ms, Ack}}, Success, RebootReq},
    Outcome{"resetAck_after11thRead_fails", ResetReq, {{1101ms, Ack}}, "Timeout waiting for ACK (reset) | Error Reseting Veltrax Defaults", ResetReq},
    Outcome{"rebootEscAck_in100ms_accepted", RebootEsc, {{100ms, Ack}}, Success, RebootReq},
    Outcome{"rebootEscAck_after100ms_fails", RebootEsc, {{101ms, Ack}}, "Waiting for ACK or boot... | Error Rebooting Veltrax", RebootEsc},
    Outcome{"rebootText_5000msPause_accepted", RebootReq, {{20ms, "bo"}, {5020ms, "ot"}}, Success, RebootReq},
    Outcome{"rebootText_longerPause_fails", RebootReq, {{20ms, "bo"}, {5021ms, "ot"}}, "Waiting for boot... | Error Rebooting Veltrax", RebootReq},
    Outcome{"prompt_as16thChar_arrives", Access, {{10ms, QByteArray(11, 'x') + "MON: "}}, Success, RebootReq},
    Outcome{"prompt_16CharsWithout_fails", Access, {{10ms, X16}}, "Did not get \"MON: \"!", Access},
    Outcome{"flash_otherByte_fails", SetUp, {{2000ms, Nak}}, "Failed to erase flash... try again", SetUp},
    Outcome{"line3_nak_fails", Line3, {{10ms, Nak}}, "Failed at line 3 (NAK)", Line3},
    Outcome{"line3_cr_fails", Line3, {{10ms, "\r"}}, "Failed at line 3 (0xD)", Line3},
    Outcome{"verdict_codeBad_fails", Line4, {{10ms, Ack}, {310ms, "CODE BAD"}}, "File sent UNsuccessfully! (Got Error)", Line4},
    Outcome{"verdict_codeOkEnding25Chars_accepted", Line4, {{10ms, Ack}, {310ms, QByteArray(18, 'x') + "CODE OK"}}, Success, RebootReq},
    Outcome{"verdict_codeOkEnding26Chars_tooMany", Line4, {{10ms, Ack}, {310ms, QByteArray(19, 'x') + "CODE OK"}}, "File sent UNsuccessfully! (Got to many chars)", Line4},
    Outcome{"resetEsc_strayByteBeforeAck_fails", ResetEsc, {{10ms, Nak}, {20ms, Ack}}, "Timeout waiting for ACK (reset) | Error Reseting Veltrax Defaults", ResetEsc},
    Outcome{"reboot_bootAs31stCharWithoutAck_noRequest", RebootEsc, {{10ms, QByteArray(27, 'x') + "boot"}}, Success, RebootEsc},
    Outcome{"reboot_31CharsWithoutBoot_fails", RebootEsc, {{10ms, X31}}, "Did not got boot (reboot)! | Error Rebooting Veltrax", RebootEsc},
    Outcome{"reboot_acksCountAfterRequest_32Chars", RebootReq, {{20ms, QByteArray(27, '\x06') + "xboot"}}, "Did not get boot (reboot)! | Error Rebooting Veltrax", RebootReq},
    Outcome{"entryEsc_upperCaseBoot_notMatched", EntryEsc, {{10ms, "BOOT"}}, "Stopped by user!", EntryEsc, stopAfter(EntryEsc, 1000ms)},
    Outcome{"entryRequest_capitalisedBoot_notMatched", EntryReboot, {{20ms, "Boot"}}, "Stopped by user!", EntryReboot, stopAfter(EntryReboot, 1000ms)},
    Outcome{"rebootRequest_upperCaseBoot_fails", RebootReq, {{20ms, "BOOT"}}, "Waiting for boot... | Error Rebooting Veltrax", RebootReq},
    Outcome{"prompt_lowerCase_timesOut", Access, {{10ms, "mon: "}}, "Timeout waiting for \"MON: \"!", Access},
    Outcome{"verdict_lowerCaseOk_timesOut", Line4, {{10ms, Ack}, {310ms, "code ok"}}, "Timeout waiting for verification... try again", Line4},
    Outcome{"verdict_lowerCaseBad_timesOut", Line4, {{10ms, Ack}, {310ms, "code bad"}}, "Timeout waiting for verification... try again", Line4},
    // Each flush throws away what came before it; kept, it would end the wait wrongly.
    Outcome{"entryEsc_earlierBootFlushed", Nothing, {}, Success, RebootReq, noise(420ms, "boot")},
    Outcome{"entryRequest_earlierNoiseFlushed", EntryEsc, {{10ms, Ack}, {20ms, X31}}, Success, RebootReq},
    Outcome{"accessWord_noiseAfterBootFlushed", EntryReboot, {{20ms, "boot" + X16}}, Success, RebootReq},
    Outcome{"lineAck_trailingNoiseFlushed", Line1, {{10ms, "\x06x"}}, Success, RebootReq},
    Outcome{"resetEsc_noiseInPauseFlushed", Line4, {{10ms, Ack}, {310ms, "CODE OK"}, {2000ms, Nak}}, Success, RebootReq},
    Outcome{"resetRequest_earlierNoiseFlushed", ResetEsc, {{10ms, Ack}, {20ms, Nak}}, Success, RebootReq},
    Outcome{"rebootEsc_bootInPauseFlushed", ResetReq, {{10ms, Ack}, {500ms, "boot"}}, Success, RebootReq},
    Outcome{"rebootRequest_earlierNoiseFlushed", RebootEsc, {{10ms, Ack}, {20ms, X31}}, Success, RebootReq},
    Outcome{"bootWaitWithoutLimit_stopped", EntryEsc, {}, "Stopped by user!", EntryEsc, stopAfter(EntryEsc, 3000ms)},
    Outcome{"promptWait_stopped", Access, {}, "Stopped by user!", Access, stopAfter(Access, 300ms)},
    Outcome{"flashWait_stopped", SetUp, {}, "Stopped by user!", SetUp, stopAfter(SetUp, 10000ms)},
    Outcome{"lineWait_stopped", Line3, {}, "Stopped by user!", Line3, stopAfter(Line3, 500ms)},
    Outcome{"verification_stopped", Line4, {{10ms, Ack}}, "Stopped by user!", Line4, stopAfter(Line4, 5000ms)},
    Outcome{"resetPause_stoppedButEscSent", Nothing, {}, ResetStopped, ResetEsc, stopAfter(Line4, 2000ms)},
    Outcome{"resetWait_stopped", ResetReq, {}, ResetStopped, ResetReq, stopAfter(ResetReq, 500ms)},
    Outcome{"rebootTextWait_stopped", RebootReq, {{3000ms, "boot"}}, "Stopped by user! | Error Rebooting Veltrax", RebootReq, stopAfter(ResetReq, 2000ms)},
    Outcome{"whilePortSettles_overridden", Nothing, {}, Success, RebootReq, [](Rig &r) { r.line.at(100ms, [&r] { r.updater.btnStop_Click(); }); }},
    Outcome{"lineWait_pulled", Nothing, {}, "Communitcations error.", Line3, stopAfter(Line3, 5ms, true)},
    Outcome{"resetPause_pulled", Nothing, {}, "Communitcations error.", Line4, stopAfter(Line4, 2000ms, true)},
    Outcome{"portWontOpen", Nothing, {}, "Communitcations error.", Nothing, [](Rig &r) { r.line.openFails = true; }},
    Outcome{"answerNo_untouched", Nothing, {}, Idle, Nothing, [](Rig &r) { r.messages.answerYes = false; }},
    Outcome{"missing_refused", Nothing, {}, Idle, Nothing, [](Rig &r) { r.files.files.clear(); }, true},
    Outcome{"unreadable_refused", Nothing, {}, Idle, Nothing, [](Rig &r) { r.files.readsBeforeFailure = 0; }, true},
    Outcome{"noLine_refused", Nothing, {}, Idle, Nothing, firmware(""), true},
    Outcome{"emptyLineAfterTheEnd_refused", Nothing, {}, Idle, Nothing, firmware(Firmware + "\r\n"), true},
    Outcome{"lowNibbleOnLine2_refused", Nothing, {}, Idle, Nothing, firmware(":00000001FF\r\n:0G\r\n"), true},
    Outcome{"over64MiB_refused", Nothing, {}, Idle, Nothing, [](Rig &r) { r.files.sizes[r.window.path] = FirmwareImage::MaxFileBytes + 1; }, true},
    Outcome{"unreadableAfterCheck_sentAsRead", Nothing, {}, Success, RebootReq, [](Rig &r) { r.files.readsBeforeFailure = 1; }},
    Outcome{"deletedDuringErase_sentWhole", Nothing, {}, Success, RebootReq, [](Rig &r) { r.line.whenSent("\x05\x05", 1000ms, [&r] { r.files.files.clear(); }); }},
    Outcome{"rewrittenDuringErase_sentAsChecked", Nothing, {}, Success, RebootReq, [](Rig &r) { r.line.whenSent("\x05\x05", 1000ms, [&r] { r.files.files[r.window.path] = ":00000001FF\r\n"; }); }}),
    [](const auto &info) { return info.param.name; });

TEST(WholeUpdate, everyStatusLogEntryAndProgress)
{
    Rig r;
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
TEST(WholeUpdate, eachPauseBeforeItsByte_eachFlushAtItsMoment)
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
    const std::vector<ms> flushes{400ms, 450ms, 500ms, 500ms, 950ms, 950ms, 950ms,
                                  950ms, 6000ms, 6050ms, 7100ms, 7150ms};
    EXPECT_EQ(r.line.flushedAt, flushes);
}

// Reads of 100 ms everywhere but in the wait for the rebooted instrument's
// text, which allows 5000 ms between its bytes; the first boot wait, without a
// limit of its own, still reads 100 ms at a time so that Stop is seen.
TEST(WholeUpdate, readsOf100msButBetweenTheRebootTextsBytes)
{
    Rig r;
    r.script(RebootReq, EntryReboot, {{1000ms, "boot"}});
    r.updater.btnSend_Click();
    ASSERT_EQ(r.window.status(), Success);
    const ms entryRequest = r.line.sentAt.at(transcriptUpTo(EntryEsc).size());
    const ms finalRequest = r.line.sentAt.at(transcriptUpTo(RebootEsc).size());
    int entryReads = 0;
    for (const auto &[began, timeout] : r.line.reads) {
        EXPECT_EQ(timeout, began >= finalRequest ? 5000ms : 100ms) << began.count();
        entryReads += began >= entryRequest && began < entryRequest + 1000ms;
    }
    EXPECT_EQ(entryReads, 10); // nine empty, then the one that "b" ends
}

// Each transfer starts from an empty log, an empty sent line and no progress,
// also the second update of a session.
TEST(WholeUpdate, twoInOneSession_eachStartsClear)
{
    Rig r;
    r.window.log = "old ";
    r.window.value = 7;
    r.script();
    r.script();
    QStringList atFirstByte;
    r.line.onSend = [&r, &atFirstByte](std::uint8_t) {
        if (r.line.wire.size() % transcriptUpTo(RebootReq).size() == 1)
            atFirstByte << r.window.log + '|' + r.window.sentLine + '|' +
                               QString::number(r.window.value);
    };
    r.updater.btnSend_Click();
    const QString firstLog = r.window.log;
    r.updater.btnSend_Click();
    EXPECT_EQ(r.window.status(), Success);
    EXPECT_EQ(atFirstByte, QStringList({"||0", "||0"}));
    EXPECT_EQ(r.window.log, firstLog);
    EXPECT_EQ(r.window.value, 66);
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
        EXPECT_EQ(r.line.flushedAt, std::vector<ms>{50ms});
        EXPECT_EQ(shownAtEsc, "Sending ESC");
        EXPECT_EQ(r.window.status(), "Sending ESC");
        EXPECT_EQ(r.window.log, logged);
    }
}
