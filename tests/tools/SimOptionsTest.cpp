#include "SimOptions.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

namespace {

SimOptionsResult parse(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> args{std::istream_iterator<std::string>(in), {}};
    return parseSimOptions(args);
}

TEST(SimOptions, parse_takesFaultSpecsAndRefusesNonsense)
{
    const MonitorSettings faults = parse("--port /dev/ttyS0 --line-reply 4:0d --stray 0D0A "
                                         "--stray-at line:7 --no-boot final --erase-ms 31000")
                                       .options.monitor;
    EXPECT_TRUE(faults.replyLine == 4 && faults.replyByte == 0x0D && faults.strayAt.number == 7);
    EXPECT_EQ(faults.stray, (std::vector<std::uint8_t>{0x0D, 0x0A}));
    EXPECT_TRUE(faults.strayAt.kind == StrayPlace::Kind::Line && faults.noBoot == RebootSet::Final);
    EXPECT_EQ(faults.eraseTime, std::chrono::milliseconds(31000));
    EXPECT_EQ(parse("--link x --nak-line 3").options.monitor.replyByte, wire::NAK);
    EXPECT_EQ(parse("--link x --timeout 5").options.runner.timeout, std::chrono::seconds(5));
    EXPECT_EQ(parse("--link x --hangup-at line:3").options.monitor.hangUpLine, 3);
    EXPECT_TRUE(parse("--link x --hangup-at reset").options.monitor.hangUpAt == HangUpStage::Reset);
    // clang-format off
    const std::pair<const char *, bool> rows[] = {
        {"--link x --stray-at reset --long-startup all --no-pacing", true}, {"--help", true},
        {"", false}, {"--link a --port b", false}, {"--link", false}, {"--link x --frobnicate", false},
        {"--link x --nak-line 0", false}, {"--link x --nak-line 3x", false},
        {"--link x --line-reply 4:0D0A", false}, {"--link x --stray 0G", false},
        {"--link x --stray-at esc", false}, {"--link x --no-boot sometimes", false},
        {"--link x --erase-ms -1", false}, {"--link x --hangup-at later", false},
    };
    // clang-format on
    for (const auto &[line, usable] : rows)
        EXPECT_EQ(parse(line).error.empty(), usable) << line << ": " << parse(line).error;
}

} // namespace
