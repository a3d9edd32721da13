// The real port code over a pseudo-terminal that stands in for COM3.
#include "CommStuff.h"
#include "FakeMessages.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "QtPrinters.h"
#include "UploaderError.h"
#include "WaitMeasures.h"
#include "frmHidden.h"

#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

class SerialPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pty.linkAsComPort(folder.path(), 3);
        link.SetBaudRate(19200);
        ASSERT_TRUE(link.SelectComPort(3) && link.OpenPort());
    }

    QTemporaryDir folder;
    PseudoTerminal pty;
    FakeMessages messages;
    CommStuff link{messages, [this] { return std::make_unique<QSerialByteDevice>(folder.path()); }};
};

TEST_F(SerialPtyTest, everyByteValueBothWays_thenSilentLineCostsNoProcessorTime)
{
    QByteArray all, received;
    for (int value = 0; value < 256; ++value)
        all.append(static_cast<char>(value));
    for (const char byte : all)
        link.SendByte(static_cast<std::uint8_t>(byte));
    EXPECT_EQ(pty.readFor(all.size(), 2000ms), all);
    pty.write(all);
    for (int byte = 0; received.size() < all.size() && (byte = link.ReadByte(1000ms)) >= 0;)
        received.append(static_cast<char>(byte));
    EXPECT_EQ(received, all);
    const WaitMeasure wait = measure([&] { EXPECT_EQ(link.ReadByte(300ms), -1); });
    EXPECT_TRUE(wait.wallMs >= 299 && wait.wallMs < 800) << wait.wallMs;
    EXPECT_LT(wait.cpuMs, 30);
    EXPECT_TRUE(link.ClosePort());
    ASSERT_TRUE(QFile::link("/dev/veltrax-no-such-adapter", folder.filePath("COM7")));
    EXPECT_FALSE(link.SelectComPort(7)); // the adapter is unplugged
    EXPECT_EQ(messages.shown, QStringList{"Could not open Com7"});
}

TEST_F(SerialPtyTest, hangUpDuringRead_throwsPromptlyAndLetsThePortGo)
{
    QTimer::singleShot(50ms, [this] { pty.hangUp(); });
    const WaitMeasure wait = measure([&] {
        try {
            link.ReadByte(5000ms);
            ADD_FAILURE() << "the hang-up looked like a silent line";
        } catch (const SerialLinkError &error) {
            EXPECT_EQ(error.code(), ErrorCode::DeviceIoError);
            EXPECT_TRUE(error.description().contains("Com3"));
        }
    });
    EXPECT_LT(wait.wallMs, 1000);
    // The hung-up port keeps reporting errors for as long as it stays open;
    // it must have been let go, or the window would spin from now on.
    EXPECT_LT(measure([&] { link.Delay(200ms); }).cpuMs, 30);
    EXPECT_THROW(link.SendByte(0x1b), SerialLinkError);
    EXPECT_TRUE(link.ClosePort());
}

TEST_F(SerialPtyTest, hangUpWhileIdle_nextWriteThrows)
{
    pty.hangUp();
    EXPECT_THROW(
        {
            link.SendByte(0x1b);
            link.SendByte(0x1b);
        },
        SerialLinkError);
}

TEST_F(SerialPtyTest, byteArrivingDuringRead_takenWellUnderOneMillisecond)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> latenciesUs;
    for (int sample = 0; sample < 40; ++sample) {
        Clock::time_point sent;
        std::thread instrument([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2 + sample * 7 % 8));
            sent = Clock::now();
            pty.write(QByteArray(1, static_cast<char>(sample)));
        });
        const int byte = link.ReadByte(1000ms);
        const Clock::time_point taken = Clock::now();
        instrument.join();
        ASSERT_EQ(byte, sample);
        latenciesUs.push_back(std::chrono::duration<double, std::micro>(taken - sent).count());
    }
    std::sort(latenciesUs.begin(), latenciesUs.end());
    // A 1 ms polling loop would put the median near half a millisecond; the
    // tail depends on how busy the machine is.
    EXPECT_LT(latenciesUs[20], 500) << "max " << latenciesUs.back() << " us";
}

} // namespace
