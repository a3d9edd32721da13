#include "SimOptions.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

SimOptionsResult parse(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> args;
    for (std::string word; in >> word;)
        args.push_back(word);
    return parseSimOptions(args);
}

TEST(SimOptions, parse_takesFaultSpecsAndRefusesNonsense)
{
    const auto faults = parse("--port /dev/ttyS0 --line-reply 4:0d --stray 0D0A --stray-at "
                              "line:7 --no-boot final --erase-ms 31000 --timeout 5")
                            .options;
    EXPECT_EQ(faults.portPath, "/dev/ttyS0");
    EXPECT_EQ(faults.monitor.replyLine, 4);
    EXPECT_EQ(faults.monitor.replyByte, 0x0D);
    EXPECT_EQ(faults.monitor.stray, (std::vector<std::uint8_t>{0x0D, 0x0A}));
    EXPECT_EQ(faults.monitor.strayAt.kind, StrayPlace::Kind::Line);
    EXPECT_EQ(faults.monitor.strayAt.number, 7);
    EXPECT_EQ(faults.monitor.noBoot, RebootSet::Final);
    EXPECT_EQ(faults.monitor.eraseTime, std::chrono::milliseconds(31000));
    EXPECT_EQ(faults.runner.timeout, std::chrono::seconds(5));
    EXPECT_EQ(parse("--link x --nak-line 3").options.monitor.replyByte, wire::NAK);

    const std::pair<const char *, bool> cases[] = {
        {"--link x --stray-at reset --long-startup all --no-pacing", true},
        {"--help", true},
        {"", false},
        {"--link a --port b", false},
        {"--link", false},
        {"--link x --frobnicate", false},
        {"--link x --nak-line 0", false},
        {"--link x --nak-line 3x", false},
        {"--link x --line-reply 4:0D0A", false},
        {"--link x --stray 0G", false},
        {"--link x --stray-at esc", false},
        {"--link x --no-boot sometimes", false},
        {"--link x --erase-ms -1", false},
    };
    for (const auto &[line, usable] : cases)
        EXPECT_EQ(parse(line).error.empty(), usable) << line << ": " << parse(line).error;
}

} // namespace
