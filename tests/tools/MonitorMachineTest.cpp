#include "MonitorMachine.h"
#include "HexEncoder.h"
#include "SampleFirmware.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

const std::string kAck = "\x06", kBoot(wire::StartupText), kLong(wire::LongStartupText);
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
    // ESC and the reboot, the access word and the set-up ENQs, the ENQ that starts the records.
    std::string enter()
    {
        std::string answer = send("\x1B\x01\x48\x01\x00\x49"s, 1s);
        answer += send("quandrel\r\n\x05\x05", 1s);
        return answer + send("\x05");
    }
    MonitorMachine machine;
    SimTime now{0};
};

// Each fault option, and each record the monitor must refuse, met in a whole
// update: everything the monitor answers, and how far it says the update got
// (which decides the simulator's exit status).
TEST(MonitorMachine, update_answersAsItsFaultsSay)
{
    // Count, offset, type 00, data and checksum; ESC and SOH inside a record are data.
    const std::string lineOne = "\x02\x00\x00\x00\x09\x09\xEC"s;
    const std::string good = "\x04\x00\x10\x00\xDE\xAD\x1B\x01\x45"s;
    // The monitor entered, `middle` answered, the reset and the final reboot answered.
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
        {"CODE BAD", [](S &s) { s.codeBad = true; }, good, ackBad, U::VerdictBad},
        {"bad checksum", none, "\x04\x00\x10\x00\xDE\xAD\x1B\x01\x46"s, nak, U::VerdictBad},
        {"shorter than its count", none, good.substr(0, good.size() - 1), nak, U::VerdictBad},
        {"longer than its count", none, good + '\0', ackBad, U::VerdictBad},
        {"unknown type", none, "\x00\x00\x00\x06\xFA"s, nak, U::VerdictBad},
        {"line 1 again", none, lineOne, ackBad, U::VerdictBad},
        {"empty line", none, "", nak, U::VerdictBad},
        {"stray before line 2's ACK", [](S &s) { s.stray = {0xA5}, s.strayAt = {K::Line, 2}; }, good,
         whole("\x06\xA5\x06" + kOk), U::Complete},
        {"stray before ESC 3's ACK", [](S &s) { s.stray = {0x00}, s.strayAt = {K::Esc, 3}; }, good,
         kEntered + "\x06\x06" + kOk + "\x06\x06\x00\x06"s + kBoot, U::Complete},
        {"stray before the reset's ACK", [](S &s) { s.stray = {0x15}, s.strayAt = {K::Reset, 0}; },
         good, kEntered + "\x06\x06" + kOk + "\x06\x15\x06\x06" + kBoot, U::Complete},
        {"no boot at the start", [](S &s) { s.noBoot = RebootSet::Start; }, good,
         kAck + "MON: \x80\x06\x06" + kOk + kRebooted, U::Complete},
        {"no boot at the end", [](S &s) { s.noBoot = RebootSet::Final; }, good,
         kEntered + "\x06\x06" + kOk + "\x06\x06\x06", U::DefaultsReset},
        {"long start-up texts", [](S &s) { s.longStartup = RebootSet::All; }, good,
         kAck + kLong + "MON: \x80\x06\x06" + kOk + "\x06\x06\x06" + kLong, U::DefaultsReset},
        {"long erase, ACK each second", [](S &s) { s.eraseTime = 2s, s.eraseAcks = true; }, good,
         kAck + kBoot + "MON: \x06\x80", U::FlashErased},
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

// Generated files as the instrument takes them: every record accepted, "CODE
// OK", and the image assembled at its base equal to the sample of the asked
// size, 16 bytes a record, 64 KiB boundaries and address records included.
TEST(HexGen, files_passTheMonitorsCheckAsTheirImage)
{
    // Size, base address, lines: 48 bytes at FFF8 split at 64 KiB: 8, 16, 16, 8.
    const std::tuple<std::size_t, std::uint32_t, std::size_t> rows[] = {
        {1, 0, 2}, {17, 0, 3}, {70000, 0, 4375 + 2}, {48, 0xFFF8, 6}, {100, 0x08000000, 1 + 7 + 1}};
    for (const auto &[size, base, count] : rows) {
        SCOPED_TRACE(std::to_string(size) + " at " + std::to_string(base));
        const Bytes image = sampleImage(size, 7);
        const std::vector<std::string> lines = encodeIntelHex(image, base);
        Uploader u;
        std::string answers = u.enter();
        for (const std::string &line : lines) {
            const Bytes bytes = decodeHexLine(line).value_or(Bytes{});
            answers += u.send("\x01" + std::string(bytes.begin(), bytes.end()));
        }
        EXPECT_EQ(answers + u.send("", 1s),
                  kEntered + std::string(lines.size(), '\x06') + "CODE OK\r\n");
        EXPECT_EQ(u.machine.image().toBinary(), image);
        EXPECT_EQ(u.machine.image().lowest(), base);
        EXPECT_EQ(lines.size(), count);
    }
}

} // namespace
