// Every way an update ends, driven through "Send File" against a scripted
// monitor: the status left behind, the exact bytes on the wire, the window back.
#include "FakeWindow.h"
#include "FirmwareUpdater.h"
#include "MemoryFileSystem.h"
#include "QtPrinters.h"
#include "ScriptedInstrument.h"
#include "UpdateEndings.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;
using Arrivals = std::vector<ScriptedInstrument::Arrival>;

const QByteArray Esc("\x1b"), Ack("\x06"), Nak("\x15");
const QByteArray RebootRequest("\x01\x48\x01\x00\x49", 5);

// A lone last character (never sent), an LF alone, any first character, lower case.
const QByteArray Firmware =
    ":0400000001020304F2x\r\n:01002000AA35\nZ020010000a0BD9y\r\n:00000001FF\r\n";

// A whole update of Firmware, stage by stage: the bytes the monitor gets and
// what a good monitor answers, timed from the last byte.
// clang-format off
enum Stage { Nothing, EntryEsc, EntryReboot, Access, SetUp, FlashReady, Line1, Line2, Line3, Line4,
             ResetEsc, ResetReq, RebootEsc, RebootReq };
const QByteArray StageBytes[] = {
    "", Esc, RebootRequest, "quandrel\r\n", "\x05\x05", "\x05",
    QByteArray::fromHex("01 04 00 00 00 01 02 03 04 F2"), QByteArray::fromHex("01 01 00 20 00 AA 35"),
    QByteArray::fromHex("01 02 00 10 00 0A 0B D9"), QByteArray::fromHex("01 00 00 00 01 FF"),
    Esc, QByteArray("\x01\x3b\x01\x00\x3c", 5), Esc, RebootRequest};
const Arrivals Answers[] = {
    {}, {{10ms, Ack}}, {{20ms, "boot\r\n"}}, {{10ms, "MON: "}}, {{2000ms, "\x80"}}, {},
    {{10ms, Ack}}, {{10ms, Ack}}, {{10ms, Ack}}, {{10ms, Ack}, {310ms, "CODE OK"}},
    {{10ms, Ack}}, {{10ms, Ack}}, {{10ms, Ack}}, {{20ms, "boot"}}};
// clang-format on
QByteArray transcriptUpTo(Stage last)
{
    QByteArray wire;
    for (int stage = Nothing; stage <= last; ++stage)
        wire += StageBytes[stage];
    return wire;
}

struct Rig {
    Rig() { files.files[window.path] = Firmware; }
    ScriptedInstrument line;
    FakeWindow window;
    FakeMessages messages;
    MemoryFileSystem files;
    FirmwareUpdater updater{line, window, messages, files};
};

const QString Success("Update Successful"), Idle("Valid file selected.");
const QString ResetStopped("Stopped by user! | Error Reseting Veltrax Defaults");
const QString RebootFailed(" | Error Rebooting Veltrax");

using Change = std::function<void(Rig &)>;

// clang-format off
struct Case {
    explicit Case(const char *caseName) : name(caseName) {}
    friend void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }
    const char *name;
    Stage changed = Nothing; // the stage whose answer differs
    Arrivals answer;
    QString statuses = Success;  // the last ones shown, " | " between them
    Stage lastStage = RebootReq; // the last stage whose bytes went out
    Change change = {};
    bool refused = false; // "Invalid File", nothing sent
    UpdateEnding ending = Ending::Succeeded;
    QByteArray partly;    // the next stage's bytes that went out before the line failed

    Case &answers(Stage stage, Arrivals arrivals) { changed = stage; answer = std::move(arrivals); return *this; }
    Case &fails(QString shown) { statuses = std::move(shown); lastStage = changed; return *this; }
    Case &endsAfter(Stage stage) { lastStage = stage; return *this; }
    Case &with(Change action) { change = std::move(action); return *this; }
    Case &refuse() { refused = true; statuses = Idle; lastStage = Nothing; return as(Ending::NotStarted); }
    Case &as(const UpdateEnding &end) { ending = end; return *this; }
    Case &thenPartly(QByteArray bytes) { partly = std::move(bytes); return *this; }
};
// clang-format on

// Stop clicked (or the adapter pulled) some time after a stage's bytes went out.
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
    for (int stage = EntryEsc; stage <= RebootReq; ++stage) // each stage answered well but one
        line.answer(StageBytes[stage], stage == c.changed ? c.answer : Answers[stage]);
    if (c.change)
        c.change(*this);
    updater.btnSend_Click();

    const qsizetype shown = c.statuses.count(" | ") + 1;
    EXPECT_EQ(window.statuses.mid(window.statuses.size() - shown).join(" | "), c.statuses);
    EXPECT_EQ(line.wire.toHex(' '), (transcriptUpTo(c.lastStage) + c.partly).toHex(' '));
    EXPECT_EQ(messages.shown.contains("Invalid File"), c.refused);
    EXPECT_EQ(window.holds.join(' '), "Disable Stop Send ApplyDebugView Restore");
    EXPECT_FALSE(line.open);
    EXPECT_LE(files.wholeReads, 1);
    const UpdateEnding &ending = endingOf(window.status(), window.stage, UpdateEnd::Ended);
    EXPECT_EQ(std::tuple(ending.exitCode, ending.stage, ending.instrument),
              std::tuple(c.ending.exitCode, c.ending.stage, c.ending.instrument))
        << ending.what;
}

// clang-format off
// Limits met in the last read they allow and just after (ACKs in the flash wait
// neither advance nor restart it); character limits; Stop; link and file faults.
INSTANTIATE_TEST_SUITE_P(Update, UpdateOutcome, ::testing::Values(
    Case("prompt_in11thRead_arrives").answers(Access, {{1150ms, "MON: "}}),
    Case("prompt_after11thRead_fails").answers(Access, {{1151ms, "MON: "}}).fails("Timeout waiting for \"MON: \"!").as(Ending::NoMonitor),
    Case("flash_ackNeitherAdvancesCount_ready").answers(::SetUp, {{5050ms, Ack}, {30150ms, "\x80"}}),
    Case("flash_norRestartsIt_fails").answers(::SetUp, {{5050ms, Ack}, {30151ms, "\x80"}}).fails("Timeout waiting for flash... try again").as(Ending::EraseFailed),
    Case("lineAck_in11thRead_accepted").answers(Line1, {{1100ms, Ack}}),
    Case("lineAck_after11thRead_fails").answers(Line1, {{1101ms, Ack}}).fails("Failed at line 1 (timeout)").as(Ending::ImageFailed),
    Case("verdict_in151stRead_accepted").answers(Line4, {{10ms, Ack}, {15110ms, "CODE OK"}}),
    Case("verdict_after151stRead_fails").answers(Line4, {{10ms, Ack}, {15111ms, "CODE OK"}}).fails("Timeout waiting for verification... try again").as(Ending::ImageFailed),
    Case("resetAck_after11thRead_fails").answers(ResetReq, {{1101ms, Ack}}).fails("Timeout waiting for ACK (reset) | Error Reseting Veltrax Defaults").as(Ending::NotReset),
    Case("rebootEscAck_after100ms_fails").answers(RebootEsc, {{101ms, Ack}}).fails("Waiting for ACK or boot..." + RebootFailed).as(Ending::NotRebooted),
    Case("rebootText_5000msPause_accepted").answers(RebootReq, {{20ms, "bo"}, {5020ms, "ot"}}),
    Case("rebootText_longerPause_fails").answers(RebootReq, {{20ms, "bo"}, {5021ms, "ot"}}).fails("Waiting for boot..." + RebootFailed).as(Ending::NotRebooted),
    Case("prompt_as16thChar_arrives").answers(Access, {{10ms, QByteArray(11, 'x') + "MON: "}}),
    Case("prompt_16CharsWithout_fails").answers(Access, {{10ms, QByteArray(16, 'x')}}).fails("Did not get \"MON: \"!").as(Ending::NoMonitor),
    Case("flash_otherByte_fails").answers(::SetUp, {{2000ms, Nak}}).fails("Failed to erase flash... try again").as(Ending::EraseFailed),
    Case("line3_nak_fails").answers(Line3, {{10ms, Nak}}).fails("Failed at line 3 (NAK)").as(Ending::ImageFailed),
    Case("line3_otherByte_failsWithItsHex").answers(Line3, {{10ms, "\xa5"}}).fails("Failed at line 3 (0xA5)").as(Ending::ImageFailed),
    Case("line3_lowByte_noLeadingZero").answers(Line3, {{10ms, "\r"}}).fails("Failed at line 3 (0xD)").as(Ending::ImageFailed),
    Case("verdict_codeBad_fails").answers(Line4, {{10ms, Ack}, {310ms, "CODE BAD"}}).fails("File sent UNsuccessfully! (Got Error)").as(Ending::ImageFailed),
    Case("verdict_codeOkEnding25Chars_accepted").answers(Line4, {{10ms, Ack}, {310ms, QByteArray(18, 'x') + "CODE OK"}}),
    Case("verdict_codeOkEnding26Chars_tooMany").answers(Line4, {{10ms, Ack}, {310ms, QByteArray(19, 'x') + "CODE OK"}}).fails("File sent UNsuccessfully! (Got to many chars)").as(Ending::ImageFailed),
    Case("reboot_bootAs31stCharWithoutAck_noRequest").answers(RebootEsc, {{10ms, QByteArray(27, 'x') + "boot"}}).endsAfter(RebootEsc),
    Case("reboot_31CharsWithoutBoot_fails").answers(RebootEsc, {{10ms, QByteArray(31, 'x')}}).fails("Did not got boot (reboot)!" + RebootFailed).as(Ending::NotRebooted),
    Case("reboot_acksCountAfterRequest_32Chars").answers(RebootReq, {{20ms, QByteArray(27, '\x06') + "xboot"}}).fails("Did not get boot (reboot)!" + RebootFailed).as(Ending::NotRebooted),
    Case("bootWaitWithoutLimit_stopped").answers(EntryEsc, {}).with(stopAfter(EntryEsc, 3000ms)).fails("Stopped by user!").as(Ending::Stopped),
    Case("resetWait_stopped").answers(ResetReq, {}).with(stopAfter(ResetReq, 500ms)).fails(ResetStopped).as(Ending::NotReset),
    Case("resetPause_stoppedButEscSent").with(stopAfter(Line4, 2000ms)).fails(ResetStopped).endsAfter(ResetEsc).as(Ending::NotReset),
    Case("whilePortSettles_overridden").with([](Rig &r) { r.line.at(100ms, [&r] { r.updater.btnStop_Click(); }); }),
    Case("resetPause_pulled").with(stopAfter(Line4, 2000ms, true)).fails("Communitcations error.").endsAfter(Line4).as(Ending::NotReset),
    // The stage reached decides where no status names the failure.
    Case("entryWait_pulled_unchanged").answers(EntryEsc, {}).with(stopAfter(EntryEsc, 500ms, true)).fails("Communitcations error.").as(Ending::LineFailed),
    Case("flashWait_stopped_erased").answers(::SetUp, {}).with(stopAfter(::SetUp, 1000ms)).fails("Stopped by user!").as(Ending::ImageFailed),
    Case("line2_pulled_erased").answers(Line2, {}).with(stopAfter(Line2, 500ms, true)).fails("Communitcations error.").as(Ending::ImageFailed),
    Case("rebootWait_pulled_updated").answers(RebootReq, {}).with(stopAfter(ResetReq, 3000ms, true)).fails("Communitcations error.").as(Ending::NotRebooted),
    // Stop seen between two lines: the line already sent goes out whole first.
    Case("betweenLines_stopped_lineGoesOutWhole").with(stopAfter(Line1, 10ms)).fails("Stopped by user!").endsAfter(Line2).as(Ending::ImageFailed),
    // The same, but the line hangs up after the second line's SOH: the failure
    // comes before Stop is looked at, as it did when each byte was written alone.
    Case("betweenLines_stoppedThenHungUp_commsError").with([](Rig &r) {
        stopAfter(Line1, 10ms)(r);
        r.line.whenSent(transcriptUpTo(Line1) + '\x01', 0ms, [&r] { r.line.pullAdapter(); });
    }).fails("Communitcations error.").endsAfter(Line1).thenPartly("\x01").as(Ending::ImageFailed),
    Case("portWontOpen").with([](Rig &r) { r.line.openFails = true; }).fails("Communitcations error.").as(Ending::NotStarted),
    Case("answerNo_untouched").with([](Rig &r) { r.messages.answerYes = false; }).fails(Idle).as(Ending::NotStarted),
    Case("missing_refused").with([](Rig &r) { r.files.files.clear(); }).refuse(),
    Case("badLine_refused").with([](Rig &r) { r.files.files[r.window.path] = ":0G\n" + Firmware; }).refuse(),
    Case("rewrittenDuringErase_sentAsChecked").with([](Rig &r) {
        r.line.whenSent("\x05\x05", 1000ms, [&r] { r.files.files[r.window.path] = ":00000001FF\r\n"; }); })),
    [](const auto &info) { return info.param.name; });

// The monitor needs its pauses: each byte goes out that long after the one
// before it, to an instrument that answers at once; flushes at their moments.
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

    // Each stage's bytes at once, at their moment: port settling 200, line quiet 200 and 50
    // before the ESC; 50 before the reboot request, 100 before the access word, 50 + 100
    // before the first ENQ, 100 before each other; the lines at once; 5000 + 50 before the
    // reset, 50 before its request; 1000 + 50 before the reboot, 50 before its request.
    const ms at[] = {0ms,   450ms, 500ms,  600ms,  750ms,  950ms,  950ms,
                     950ms, 950ms, 950ms, 6000ms, 6050ms, 7100ms, 7150ms};
    std::vector<ms> expectedAt;
    for (int stage = EntryEsc; stage <= RebootReq; ++stage) {
        for (int byte = 0; byte < StageBytes[stage].size(); ++byte)
            expectedAt.push_back(stage == ::SetUp && byte == 1 ? 850ms : at[stage]);
    }
    EXPECT_EQ(r.line.sentAt, expectedAt);
    // Each flush: its moment, and the stage whose bytes went out last before it.
    const std::pair<ms, Stage> flushes[] = {
        {400ms, Nothing}, {450ms, Nothing}, {500ms, EntryEsc}, {500ms, EntryReboot},
        {950ms, FlashReady}, {950ms, Line1}, {950ms, Line2}, {950ms, Line3},
        {6000ms, Line4}, {6050ms, ResetEsc}, {7100ms, ResetReq}, {7150ms, RebootEsc}};
    std::vector<std::pair<ms, qsizetype>> expected;
    for (const auto &[moment, after] : flushes)
        expected.emplace_back(moment, transcriptUpTo(after).size());
    EXPECT_EQ(r.line.flushes, expected);
}

// A second update in the same run starts from an empty debug log and progress
// bar, not from where the first one left them.
TEST(WholeUpdate, secondUpdate_startsFromEmptyLogAndProgress)
{
    Rig r;
    for (int update = 0; update < 2; ++update) {
        for (int stage = EntryEsc; stage <= RebootReq; ++stage)
            r.line.answer(StageBytes[stage], Answers[stage]);
    }
    r.updater.btnSend_Click();
    const QString log = r.window.log;
    const double progress = r.window.value;
    ASSERT_TRUE(r.window.status() == Success && !log.isEmpty() && progress > 0);
    r.updater.btnSend_Click();
    EXPECT_EQ(r.window.status(), Success);
    EXPECT_EQ(r.window.log, log);
    EXPECT_EQ(r.window.value, progress);
}

// Line numbers and progress are counted past 16 bits: the monitor refuses line 40,001.
TEST(WholeUpdate, linesCountedPast16Bits)
{
    Rig r;
    const QByteArray record(":0000000000\r\n"), sent = QByteArray::fromHex("01 00 00 00 00 00");
    r.files.files[r.window.path] = record.repeated(40001) + ":00000001FF\r\n";
    for (int stage = EntryEsc; stage <= FlashReady; ++stage)
        r.line.answer(StageBytes[stage], Answers[stage]);
    for (int line = 1; line <= 40001; ++line)
        r.line.answer(sent, {{1ms, line <= 40000 ? Ack : Nak}});
    r.updater.btnSend_Click();
    EXPECT_EQ(r.window.status(), "Failed at line 40001 (NAK)");
    EXPECT_EQ(r.window.value, 40000.0 * (record.size() - 2 + 2)); // each line: its length + 2
    EXPECT_EQ(r.window.maximum, 40001.0 * record.size() + 13);
}

// Send ESC by hand: 50 ms, a flush, "Sending ESC" shown, one ESC; the answer
// logged as it came, unjudged; one slower than the 100 ms read is left. The
// ESC is on the line when its read begins: an answer at that moment is read.
TEST(SendEsc, oneEsc_answerLogged)
{
    const struct { ms after; QByteArray answer; const char *logged; } rows[] = {
        {30ms, Ack, "6 "}, {0ms, "\x4f", "4F "}, {150ms, Ack, ""}};
    for (const auto &[after, answer, logged] : rows) {
        Rig r;
        r.line.open = true;
        r.line.answer(Esc, {{after, answer}});
        QString shownAtEsc;
        r.line.onSend = [&] { shownAtEsc = r.window.status(); };
        r.updater.btnESC_Click();
        EXPECT_EQ(r.line.wire, Esc);
        EXPECT_EQ(r.line.sentAt, std::vector<ms>{50ms});
        EXPECT_EQ(r.line.flushes, (std::vector<std::pair<ms, qsizetype>>{{50ms, 0}}));
        EXPECT_EQ(shownAtEsc, "Sending ESC");
        EXPECT_EQ(r.window.log, logged);
    }
}

} // namespace
