#include "MonitorMachine.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string kAck = "\x06", kBoot(wire::StartupText);
const std::string kOk = kAck + "CODE OK\r\n", kBad = kAck + "CODE BAD\r\n";
const std::string kEntered = kAck + kBoot + "MON: \x80", kRebooted = "\x06\x06\x06" + kBoot;

// The uploader's side on a virtual clock: bytes go in at wire pace, then the
// silence passes; each call returns what the monitor answered meanwhile.
struct Uploader {
    explicit Uploader(MonitorSettings settings = {}) : machine(std::move(settings)) {}
    std::string send(const std::string &bytes, SimTime silence = 0us)
    {
        for (char c : bytes)
            machine.receive(static_cast<std::uint8_t>(c), now += wire::ByteTime);
        machine.advance(now += silence);
        std::string answer;
        for (const Emission &e : machine.takeEmissions())
            answer.append(e.bytes.begin(), e.bytes.end());
        return answer;
    }
    // The reboot, the access word and the set-up ENQs, the ENQ that starts the records.
    std::string enter()
    {
        std::string answer = send("\x1B\x01\x48\x01\x00\x49"s, 1s);
        answer += send("quandrel\r\n\x05\x05", 1s);
        return answer + send("\x05");
    }
    MonitorMachine machine;
    SimTime now{0};
};

// Fault options and records the monitor must refuse, met in a whole update: all it
// answers, and how far it says the update got (the simulator's exit status).
TEST(MonitorMachine, update_answersAsItsFaultsSay)
{
    // Count, offset, type 00, data and checksum; ESC and SOH inside a record are data.
    const std::string lineOne = "\x02\x00\x00\x00\x09\x09\xEC"s;
    const std::string good = "\x04\x00\x10\x00\xDE\xAD\x1B\x01\x45"s;
    const auto whole = [](const std::string &middle) { return kEntered + middle + kRebooted; };
    const std::string nak = whole("\x06\x15" + kBad), ackBad = whole("\x06\x06" + kBad);
    using S = MonitorSettings;
    using U = UpdateStage;
    using K = StrayPlace::Kind;
    const auto none = [](S &) {};
    const struct {
        const char *name;
        void (*configure)(S &);
        std::string lineTwo; // what the second record is
        std::string answers; // all the monitor says
        UpdateStage stage;
    } rows[] = {
        // clang-format off
        {"clean", none, good, whole("\x06\x06" + kOk), U::Complete},
        {"0D at line 2", [](S &s) { s.replyLine = 2, s.replyByte = 0x0D; }, good,
         whole("\x06\x0D" + kBad), U::VerdictBad},
        {"bad checksum", none, "\x04\x00\x10\x00\xDE\xAD\x1B\x01\x46"s, nak, U::VerdictBad},
        {"line 1 again", none, lineOne, ackBad, U::VerdictBad},
        {"stray before line 2's ACK", [](S &s) { s.stray = {0xA5}, s.strayAt = {K::Line, 2}; }, good,
         whole("\x06\xA5\x06" + kOk), U::Complete},
        {"silent", [](S &s) { s.silent = true; }, good, "", U::Complete},
        {"hang-up at line 2", [](S &s) { s.hangUpLine = 2; }, good, kEntered + "\x06", U::Transferring},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MonitorSettings settings;
        row.configure(settings);
        Uploader u(settings);
        std::string answers = u.enter();
        for (const std::string &line : {lineOne, row.lineTwo, "\x00\x00\x00\x01\xFF"s})
            answers += u.send("\x01" + line, 300ms); // long enough to judge a short line
        answers += u.send("\x1B\x01\x3B\x01\x00\x3C\x1B\x01\x48\x01\x00\x49"s, 1s);
        EXPECT_EQ(answers, row.answers);
        EXPECT_EQ(u.machine.stage(), row.stage);
        EXPECT_EQ(u.machine.hangUpWanted(), row.stage == U::Transferring);
    }
}

// The hang-up in the uploader's pause after "CODE OK": the verdict goes out
// whole, and the line drops within the pause, before any reset request.
TEST(MonitorMachine, pauseHangUp_comesAfterTheVerdictInsideTheUploadersPause)
{
    MonitorSettings settings;
    settings.hangUpAt = HangUpStage::Pause;
    Uploader u(settings);
    std::string answers = u.enter();
    answers += u.send("\x01\x02\x00\x00\x00\x09\x09\xEC"s, 300ms);
    answers += u.send("\x01\x00\x00\x00\x01\xFF"s, 300ms);
    EXPECT_EQ(answers, kEntered + "\x06" + kOk);
    EXPECT_FALSE(u.machine.hangUpWanted());
    u.send("", 4s);
    EXPECT_TRUE(u.machine.hangUpWanted());
    EXPECT_EQ(u.machine.stage(), UpdateStage::VerdictOk);
}

} // namespace
