// The line hangs up under the program (cable or adapter pulled, instrument
// switched off) at every stage of an update.
#include "LinkFixture.h"

namespace linkfault {
namespace {

struct HangUpCase {
    const char *name;
    const char *stage; // veltrax-sim's --hangup-at
    QString waiting;   // the status of the wait it lands in
    Through through;   // the last bytes that may go out
    int line;
};

void PrintTo(const HangUpCase &c, std::ostream *out)
{
    *out << c.name;
}

class HangUp : public LinkFault, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUp, commsErrorAtOnce_portLetGo_windowIdle_nothingLaterSent)
{
    const HangUpCase &c = GetParam();
    start({"--hangup-at", c.stage});

    window->clickSend();

    EXPECT_GE(msSinceLast(c.waiting), 0) << "never waited with " << c.waiting.toStdString();
    EXPECT_LT(msSinceLast(c.waiting), 1000);
    expectEnded(CommsError, updateBytes(hexFile, c.through, c.line));
    EXPECT_GE(instrument->log().noteIndex(QStringLiteral("hanging up")), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(LinkFault, HangUp, ::testing::Values(
    // The boot wait that opens an update has no time limit of its own.
    HangUpCase{"bootWait", "boot", "Waiting for boot...", Through::Boot, 0},
    HangUpCase{"prompt", "prompt", "Waiting for \"MON: \"...", Through::Prompt, 0},
    HangUpCase{"flashWait", "erase", "Waiting for Flash", Through::Erase, 0},
    HangUpCase{"line", "line:3", "Sending file...", Through::Line, 3},
    HangUpCase{"verification", "verify", "File sent, waiting for verification...", Through::AllLines, 0},
    HangUpCase{"reset", "reset", "Waiting for ACK (reset)...", Through::Reset, 0},
    HangUpCase{"reboot", "reboot", "Waiting for boot...", Through::Reboot, 0}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace linkfault
