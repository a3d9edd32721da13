#include "MonitorMachine.h"
#include "HexRecord.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string kEsc = "\x1B", kAck = "\x06", kCodeOk = "\x06"s + "CODE OK\r\n";
const std::string kReboot("\x01\x48\x01\x00\x49", 5), kReset("\x01\x3B\x01\x00\x3C", 5);
const std::string kEndOfFile("\x00\x00\x00\x01\xFF", 5);
const std::string kBoot(wire::StartupText);

std::string dataRecord(std::uint16_t offset, const std::string &data)
{
    std::string record = {static_cast<char>(data.size()), static_cast<char>(offset >> 8),
                          static_cast<char>(offset & 0xFF), '\0'};
    record += data;
    return record + static_cast<char>(recordChecksum(
                        reinterpret_cast<const std::uint8_t *>(record.data()), record.size()));
}

// The uploader's side on a virtual clock: bytes go in at wire pace, then time
// passes; each call returns what the monitor answered meanwhile.
struct Uploader {
    explicit Uploader(MonitorSettings settings = {}) : machine(std::move(settings)) {}

    struct Step {
        std::string bytes;
        SimTime silence{0};
    };
    // Steps one after the other, each followed by its silence.
    std::string send(std::initializer_list<Step> steps)
    {
        std::string answer;
        for (const Step &step : steps) {
            for (char c : step.bytes)
                machine.receive(static_cast<std::uint8_t>(c), now += wire::ByteTime);
            machine.advance(now += step.silence);
            for (const Emission &e : machine.takeEmissions()) {
                answer.append(e.bytes.begin(), e.bytes.end());
                emitted.push_back(e);
            }
        }
        return answer;
    }
    std::string send(const std::string &bytes, SimTime silence = 0us)
    {
        return send({{bytes, silence}});
    }
    std::string enterMonitor() { return send({{kEsc}, {kReboot, 1s}, {"quandrel\r\n"}}); }
    void reachTransfer()
    {
        enterMonitor();
        send({{"\x05\x05", 1s}, {"\x05"}});
    }
    // Long enough after the line for a short one to be judged.
    std::string line(const std::string &record) { return send("\x01" + record, 300ms); }
    std::string finish() { return send({{kEsc}, {kReset}, {kEsc}, {kReboot, 1s}}); }

    MonitorMachine machine;
    SimTime now{0};
    std::vector<Emission> emitted;
};

TEST(MonitorMachine, wholeUpdate_answersEachStepAndAssemblesImage)
{
    Uploader u;
    EXPECT_EQ(u.send(kEsc), kAck);
    EXPECT_EQ(u.send(kReboot, 499ms), "") << "start-up text before the boot delay";
    EXPECT_EQ(u.send("", 1ms), kBoot);
    EXPECT_EQ(u.send("quandrel\r\n"), "MON: ");
    EXPECT_EQ(u.machine.stage(), UpdateStage::MonitorEntered);
    EXPECT_EQ(u.send({{"\x05", 100ms}, {"\x05", 299ms}}), "") << "erased too soon";
    EXPECT_EQ(u.send("", 1ms), "\x80");
    EXPECT_EQ(u.machine.stage(), UpdateStage::FlashErased);
    EXPECT_EQ(u.send("\x05"), "");
    EXPECT_EQ(u.line(dataRecord(0x0010, "\xDE\xAD")), kAck);
    EXPECT_EQ(u.line(dataRecord(0x0012, "\x1B\x01\x06")), kAck);
    EXPECT_EQ(u.line(kEndOfFile), kCodeOk);
    EXPECT_EQ(u.machine.stage(), UpdateStage::VerdictOk);
    EXPECT_EQ(u.finish(), "\x06\x06\x06" + kBoot);
    EXPECT_EQ(u.machine.stage(), UpdateStage::Complete);
    EXPECT_EQ(u.machine.lines(), 3);
    EXPECT_EQ(u.machine.image().lowest(), 0x10u);
    EXPECT_EQ(u.machine.image().toBinary(), (std::vector<std::uint8_t>{0xDE, 0xAD, 0x1B, 1, 6}));
}

// Line 2 (or a fault at it): what the monitor answers that line, and whether a
// good end-of-file record then gets "CODE OK".
TEST(MonitorMachine, lineFaults_answerAndVerdict)
{
    const std::string good = dataRecord(0x0100, "\x01\x02\x03\x04");
    std::string badSum = good;
    badSum.back() ^= 0x5A;
    const auto none = [](MonitorSettings &) {};
    const struct {
        const char *name;
        void (*configure)(MonitorSettings &);
        std::string lineTwo, answer;
        bool codeOk;
    } rows[] = {
        // clang-format off
        {"clean", none, good, kAck, true},
        {"nak line 2", [](MonitorSettings &s) { s.replyLine = 2; }, good, "\x15", false},
        {"0D for line 2", [](MonitorSettings &s) { s.replyLine = 2, s.replyByte = 0x0D; }, good, "\x0D", false},
        {"stray before line 2's ACK", [](MonitorSettings &s) { s.stray = {0xA5}, s.strayAt = {StrayPlace::Kind::Line, 2}; }, good, "\xA5\x06", true},
        {"CODE BAD on request", [](MonitorSettings &s) { s.codeBad = true; }, good, kAck, false},
        {"bad checksum", none, badSum, "\x15", false},
        {"shorter than its count", none, good.substr(0, good.size() - 1), "\x15", false},
        {"longer than its count", none, good + '\0', kAck, false},
        {"line 1 again", none, dataRecord(0, "\x09\x09"), kAck, false},
        {"empty line", none, "", "\x15", false},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MonitorSettings settings;
        row.configure(settings);
        Uploader u(settings);
        u.reachTransfer();
        EXPECT_EQ(u.line(dataRecord(0, "\x09\x09")), kAck);
        EXPECT_EQ(u.line(row.lineTwo), row.answer);
        EXPECT_EQ(u.line(kEndOfFile), row.codeOk ? kCodeOk : "\x06"s + "CODE BAD\r\n");
        EXPECT_EQ(u.machine.fault().empty(), row.codeOk) << u.machine.fault();
    }
}

TEST(MonitorMachine, shortLine_isJudgedOnlyAfterTheGap)
{
    Uploader u;
    u.reachTransfer();
    EXPECT_EQ(u.send("\x01\x02\x00\x00\x00\x11"s, 199ms), "");
    EXPECT_EQ(u.send("", 1ms), "\x15");
}

// Faults around the reboots, the ESCs and the reset, and the stage each leaves.
TEST(MonitorMachine, dialogueFaults_startupAndAcknowledgements)
{
    const std::string longText(wire::LongStartupText);
    ASSERT_TRUE(longText.size() > 30 && longText.find("boot") == std::string::npos);
    const struct {
        const char *name;
        void (*configure)(MonitorSettings &);
        std::string first;  // ESC and the reboot that opens the update
        std::string finish; // reset and the final reboot
        UpdateStage stage;
    } rows[] = {
        // clang-format off
        {"none", [](MonitorSettings &) {}, kAck + kBoot, "\x06\x06\x06" + kBoot, UpdateStage::Complete},
        {"stray before ESC 3's ACK", [](MonitorSettings &s) { s.stray = {0x00}, s.strayAt = {StrayPlace::Kind::Esc, 3}; }, kAck + kBoot, "\x06\x06\x00\x06"s + kBoot, UpdateStage::Complete},
        {"stray before the reset's ACK", [](MonitorSettings &s) { s.stray = {0x15}, s.strayAt = {StrayPlace::Kind::Reset, 0}; }, kAck + kBoot, "\x06\x15\x06\x06" + kBoot, UpdateStage::Complete},
        {"no boot at start", [](MonitorSettings &s) { s.noBoot = RebootSet::Start; }, kAck, "", UpdateStage::None},
        {"no boot at the end", [](MonitorSettings &s) { s.noBoot = RebootSet::Final; }, kAck + kBoot, "\x06\x06\x06", UpdateStage::DefaultsReset},
        {"long start-up text", [](MonitorSettings &s) { s.longStartup = RebootSet::All; }, kAck + longText, "", UpdateStage::None},
        {"silent", [](MonitorSettings &s) { s.silent = true; }, "", "", UpdateStage::None},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        MonitorSettings settings;
        row.configure(settings);
        Uploader u(settings);
        EXPECT_EQ(u.send({{kEsc}, {kReboot, 1s}}), row.first);
        if (row.first.find("boot") != std::string::npos) {
            u.send("quandrel\r\n\x05\x05", 1s);
            EXPECT_EQ(u.send({{"\x05"}, {"\x01" + kEndOfFile, 300ms}}), kCodeOk);
            EXPECT_EQ(u.finish(), row.finish);
        }
        EXPECT_EQ(u.machine.stage(), row.stage);
    }
}

TEST(MonitorMachine, erase_lastsItsTimeAndMayAcknowledgeMeanwhile)
{
    MonitorSettings settings;
    settings.eraseTime = 31s;
    settings.eraseAcks = true;
    Uploader u(settings);
    u.enterMonitor();
    const SimTime erasing = u.now + 2 * wire::ByteTime;               // the second ENQ
    const std::string answer = u.send({{"\x05\x05"}, {"\x01", 31s}}); // SOH unheard meanwhile
    EXPECT_EQ(answer, std::string(30, '\x06') + "\x80");
    EXPECT_EQ(u.emitted[u.emitted.size() - 31].at, erasing + 1s);
    EXPECT_EQ(u.emitted.back().at, erasing + 31s);
}

TEST(MonitorMachine, protocolSlips_areNotAccepted)
{
    Uploader wrongWord;
    EXPECT_EQ(wrongWord.send({{kEsc}, {kReboot, 1s}}), kAck + kBoot);
    EXPECT_EQ(wrongWord.send("Quandrel\r\n", 1s), "");

    Uploader noThirdEnq;
    noThirdEnq.enterMonitor();
    EXPECT_EQ(noThirdEnq.send("\x05\x05", 1s), "\x80");
    EXPECT_EQ(noThirdEnq.line(kEndOfFile), "");

    Uploader badRequest;
    EXPECT_EQ(badRequest.send("\x1B\x01\x48\x01\x00\x48"s, 1s), "\x06\x15");

    Uploader bytesAfterEnd;
    bytesAfterEnd.reachTransfer();
    EXPECT_EQ(bytesAfterEnd.send("\x01" + kEndOfFile + "\r", 1s), "\x06"s + "CODE BAD\r\n");
}

} // namespace
