// The short exchanges on their own: what each reads, sends, shows and when it gives up.
#include "UpdaterFixture.h"

#include <functional>

namespace {

struct Exchange {
    const char *name;
    std::function<bool(FirmwareUpdater &)> call;
    std::function<void(Rig &)> script;
    bool result;
    QString status;
    QByteArray wire;
    ms endsAt = ms{-1}; // checked when given
    bool keepRunning = true;
};

void PrintTo(const Exchange &e, std::ostream *os)
{
    *os << e.name;
}

const auto ackOrBoot = [](bool failOnTimeout) {
    return [=](FirmwareUpdater &u) { return u.WaitForAckOrBoot(failOnTimeout); };
};
const auto monitorPrompt = [](ms limit) {
    return [=](FirmwareUpdater &u) { return u.WaitForText("MON: ", limit); };
};
const auto resetAck = [](FirmwareUpdater &u) { return u.WaitForResetAck(); };
using Script = std::function<void(Rig &)>;
const Script silent = [](Rig &) {};
const auto after = [](QByteArray trigger, QByteArray bytes, ms delay = 10ms) -> Script {
    return [=](Rig &r) { r.line.answer(trigger, bytes, delay); };
};
const auto arrive = [](ms moment, QByteArray bytes) -> Script {
    return [=](Rig &r) { r.line.arriveAt(moment, bytes); };
};
const auto both = [](Script a, Script b) -> Script {
    return [=](Rig &r) {
        a(r);
        b(r);
    };
};

const QString AckOrBoot = QStringLiteral("Waiting for ACK or boot...");
const QString BootWait = QStringLiteral("Waiting for boot...");
const QString PromptTimeout = QStringLiteral("Timeout waiting for \"MON: \"!");
const QString ResetTimeout = QStringLiteral("Timeout waiting for ACK (reset)");

class Primitives : public ::testing::TestWithParam<Exchange>, public Rig {};

TEST_P(Primitives, endAsTheMonitorAnswers)
{
    const Exchange &e = GetParam();
    line.open = true;
    window.running = e.keepRunning;
    e.script(*this);
    EXPECT_EQ(e.call(updater), e.result);
    EXPECT_EQ(window.status(), e.status);
    EXPECT_EQ(line.wire().toHex(' '), e.wire.toHex(' '));
    if (e.endsAt >= ms{0}) {
        EXPECT_EQ(line.now().count(), e.endsAt.count());
    }
}

const auto caseName = [](const auto &info) { return info.param.name; };

// clang-format off
// The exchanges begin after a 50 ms settling delay; reads are 100 ms.
INSTANTIATE_TEST_SUITE_P(AckOrBoot, Primitives, ::testing::Values(
    Exchange{"bootWithoutAck_noRebootRequest", ackOrBoot(false), after(Esc, "xxboot"), true, AckOrBoot, Esc},
    Exchange{"silentFailOnTimeout_oneRead", ackOrBoot(true), silent, false, AckOrBoot, Esc, 150ms},
    Exchange{"ackWithTimeoutInOnePass_timeoutWins", ackOrBoot(true), after(Esc, Ack, 100ms), false, AckOrBoot, Esc, 150ms},
    Exchange{"bootAs31stChar_true", ackOrBoot(false), after(Esc, QByteArray(27, 'x') + "boot"), true, AckOrBoot, Esc},
    Exchange{"31CharsWithoutBoot_false", ackOrBoot(false), after(Esc, QByteArray(31, 'x')), false, "Did not got boot (reboot)!", Esc},
    Exchange{"ackCountsInSecondPhase_bootAs31stChar", ackOrBoot(false), both(after(Esc, Ack), after(RebootRequest, QByteArray(27, '\x06') + "boot")), true, BootWait, Esc + RebootRequest},
    Exchange{"ackCountsInSecondPhase_32Chars", ackOrBoot(false), both(after(Esc, Ack), after(RebootRequest, QByteArray(28, '\x06') + "boot")), false, "Did not get boot (reboot)!", Esc + RebootRequest},
    Exchange{"capitalisedBoot_noMatch", ackOrBoot(false), both(after(Esc, Ack), after(RebootRequest, QByteArray("Boot BOOT ").repeated(4))), false, "Did not get boot (reboot)!", Esc + RebootRequest},
    Exchange{"stoppedBefore_escStillSent", ackOrBoot(false), after(Esc, Ack), false, "Stopped by user!", Esc, 50ms, false},
    Exchange{"silentWithoutLimit_stopEndsWith100msRead", ackOrBoot(false), both(after(Esc, Ack), [](Rig &r) { r.line.at(61000ms, [&r] { r.updater.btnStop_Click(); }); }), false, "Stopped by user!", Esc + RebootRequest, 61010ms}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Text, Primitives, ::testing::Values(
    Exchange{"silent_failsAfter11EmptyReads", monitorPrompt(1000ms), silent, false, PromptTimeout, "", 1150ms},
    // Bytes landing on read boundaries cost no time: the count is neither reset nor advanced.
    Exchange{"strayBytes_doNotMoveTheLimit", monitorPrompt(1000ms), both(arrive(350ms, "x"), arrive(750ms, "y")), false, PromptTimeout, "", 1150ms},
    Exchange{"promptAs16thChar_true", monitorPrompt(1000ms), arrive(60ms, QByteArray(11, 'x') + "MON: "), true, "Waiting for \"MON: \"...", ""},
    Exchange{"16CharsWithout_false", monitorPrompt(1000ms), arrive(60ms, QByteArray(16, 'x')), false, "Did not get \"MON: \"!", ""},
    Exchange{"zeroLimit_waitsForEver", monitorPrompt(0ms), arrive(600000ms, "MON: "), true, "Waiting for \"MON: \"...", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(ResetAck, Primitives, ::testing::Values(
    Exchange{"strayFirst_fails", resetAck, after(Esc, "\x15"), false, ResetTimeout, Esc},
    Exchange{"straySecond_fails", resetAck, both(after(Esc, Ack), after(ResetRequest, "boot")), false, ResetTimeout, Esc + ResetRequest},
    Exchange{"ackAfter10EmptyReads_accepted", resetAck, both(after(Esc, Ack, 1050ms), after(ResetRequest, Ack)), true, "Reset OK", Esc + ResetRequest},
    Exchange{"silent_fails11thEmptyRead", resetAck, silent, false, ResetTimeout, Esc, 1150ms},
    Exchange{"stopped_escStillSent", resetAck, after(Esc, Ack), false, "Stopped by user!", Esc, 50ms, false}),
    caseName);
// clang-format on

TEST_F(UpdaterFixture, sendText_sendsEachCharacterOnly)
{
    line.open = true;
    EXPECT_TRUE(updater.SendText("quandrel"));
    EXPECT_TRUE(updater.SendText(""));
    EXPECT_EQ(line.wire(), "quandrel");
    EXPECT_EQ(line.now(), 0ms);
}

TEST_F(UpdaterFixture, escButton_logsAnyAnswerUnjudged)
{
    updater.btnESC_Click(); // port closed: nothing goes out, nothing comes back
    EXPECT_TRUE(line.wire().isEmpty());
    line.open = true;
    line.answer(Esc, "A");
    updater.btnESC_Click();
    EXPECT_EQ(line.wire(), Esc);
    EXPECT_EQ(window.log, "41 ");
    EXPECT_EQ(window.statuses, QStringList({"Valid file selected.", "Sending ESC", "Sending ESC"}));
}

} // namespace
