#include "MSComm.h"
#include "MemoryByteDevice.h"
#include "QtPrinters.h"
#include "UploaderError.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsText, acceptedTextsReachTheDevice_othersLeaveEverythingAsItWas)
{
    const std::pair<const char *, std::optional<LineSettings>> rows[] = {
        // clang-format off
        {"9600,N,8,1", LineSettings{9600, 'N', 8, 1}}, {"115200,E,7,2", LineSettings{115200, 'E', 7, 2}},
        {"300,o,5,1", LineSettings{300, 'O', 5, 1}},
        {"", {}}, {"19200", {}}, {"19200,N,8", {}}, {"19200,N,8,1,", {}}, {" 19200,N,8,1", {}},
        {"+19200,N,8,1", {}}, {"0,N,8,1", {}}, {"-1,N,8,1", {}}, {"fast,N,8,1", {}}, {"19200,X,8,1", {}},
        {"19200,,8,1", {}}, {"19200,NN,8,1", {}}, {"19200,N,9,1", {}}, {"19200,N,4,1", {}},
        {"19200,N,8,3", {}}, {"19200,N,8,1.5", {}}, {"9999999999,N,8,1", {}},
        // clang-format on
    };
    for (const auto &[text, expected] : rows) {
        SCOPED_TRACE(text);
        auto made = std::make_unique<MemoryByteDevice>();
        MemoryByteDevice &device = *made;
        MSComm port(std::move(made));
        port.setSettings("19200,N,8,1");
        const auto code = [&] {
            try {
                port.setSettings(text);
            } catch (const UploaderError &error) {
                return error.code();
            }
            return 0;
        };
        EXPECT_EQ(code(), expected ? 0 : ErrorCode::InvalidPropertyValue);
        const LineSettings now = expected.value_or(LineSettings{19200, 'N', 8, 1});
        EXPECT_EQ(device.settings(), now);
        EXPECT_EQ(port.Settings(), QStringLiteral("%1,%2,%3,%4")
                                       .arg(now.baud)
                                       .arg(QChar(now.parity))
                                       .arg(now.dataBits)
                                       .arg(now.stopBits));
    }
}

} // namespace
