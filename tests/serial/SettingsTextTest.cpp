#include "MSComm.h"
#include "MemoryByteDevice.h"
#include "QtPrinters.h"
#include "UploaderError.h"

#include <gtest/gtest.h>

namespace {

struct SettingsCase {
    const char *text;
    std::optional<LineSettings> expected; // empty: refused
};

class SettingsTextTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsTextTest, acceptedTextsReachTheDeviceOthersLeaveEverythingAsItWas)
{
    const SettingsCase &c = GetParam();
    auto made = std::make_unique<MemoryByteDevice>();
    MemoryByteDevice &device = *made;
    MSComm port(std::move(made));
    port.setSettings("19200,N,8,1");

    if (c.expected) {
        port.setSettings(c.text);
        EXPECT_EQ(device.settings(), *c.expected);
        EXPECT_EQ(port.Settings(), QStringLiteral("%1,%2,%3,%4")
                                       .arg(c.expected->baud)
                                       .arg(QLatin1Char(c.expected->parity))
                                       .arg(c.expected->dataBits)
                                       .arg(c.expected->stopBits));
        return;
    }
    try {
        port.setSettings(c.text);
        ADD_FAILURE() << "accepted \"" << c.text << "\"";
    } catch (const UploaderError &error) {
        EXPECT_EQ(error.code(), ErrorCode::InvalidPropertyValue);
    }
    EXPECT_EQ(port.Settings(), "19200,N,8,1");
    EXPECT_EQ(device.settings(), (LineSettings{19200, 'N', 8, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsTextTest,
    ::testing::Values(
        SettingsCase{"9600,N,8,1", LineSettings{9600, 'N', 8, 1}},
        SettingsCase{"115200,E,7,2", LineSettings{115200, 'E', 7, 2}},
        SettingsCase{"300,o,5,1", LineSettings{300, 'O', 5, 1}}, SettingsCase{"", std::nullopt},
        SettingsCase{"19200", std::nullopt}, SettingsCase{"19200,N,8", std::nullopt},
        SettingsCase{"19200,N,8,1,", std::nullopt}, SettingsCase{" 19200,N,8,1", std::nullopt},
        SettingsCase{"+19200,N,8,1", std::nullopt}, SettingsCase{"0,N,8,1", std::nullopt},
        SettingsCase{"-1,N,8,1", std::nullopt}, SettingsCase{"fast,N,8,1", std::nullopt},
        SettingsCase{"19200,X,8,1", std::nullopt}, SettingsCase{"19200,,8,1", std::nullopt},
        SettingsCase{"19200,NN,8,1", std::nullopt}, SettingsCase{"19200,N,9,1", std::nullopt},
        SettingsCase{"19200,N,4,1", std::nullopt}, SettingsCase{"19200,N,8,3", std::nullopt},
        SettingsCase{"19200,N,8,1.5", std::nullopt},
        SettingsCase{"9999999999,N,8,1", std::nullopt}));

} // namespace
