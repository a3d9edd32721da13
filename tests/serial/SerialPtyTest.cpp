#include "CommStuff.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "QtPrinters.h"
#include "RecordingMessageBox.h"
#include "UploaderError.h"
#include "WaitMeasures.h"
#include "frmHidden.h"

#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <random>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// The real port code over a pseudo-terminal that stands in for COM3.
class SerialPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        pty.linkAsComPort(folder.path(), 3);
        link.SetBaudRate(19200);
        ASSERT_TRUE(link.SelectComPort(3));
    }

    std::optional<SerialLinkError> readThrowing(std::chrono::milliseconds timeout)
    {
        try {
            link.ReadByte(timeout);
        } catch (const SerialLinkError &error) {
            return error;
        }
        return std::nullopt;
    }

    QTemporaryDir folder;
    PseudoTerminal pty;
    RecordingMessageBox messages;
    CommStuff link{messages, [this] { return std::make_unique<QSerialByteDevice>(folder.path()); }};
};

TEST_F(SerialPtyTest, bytesBothWays_everyValueUnchanged)
{
    ASSERT_TRUE(link.OpenPort());

    QByteArray all;
    for (int value = 0; value < 256; ++value)
        all.append(static_cast<char>(value));
    for (const char byte : all)
        link.SendByte(static_cast<std::uint8_t>(byte));
    EXPECT_EQ(pty.readFor(all.size(), 2000ms), all);

    pty.write(all);
    QByteArray received;
    for (int i = 0; i < all.size(); ++i) {
        const int byte = link.ReadByte(1000ms);
        ASSERT_GE(byte, 0) << "byte " << i << " did not come";
        received.append(static_cast<char>(byte));
    }
    EXPECT_EQ(received, all);
    EXPECT_EQ(link.ReadByte(50ms), -1);
    EXPECT_TRUE(link.ClosePort());
    EXPECT_TRUE(messages.prompts.isEmpty());
}

TEST_F(SerialPtyTest, silentLine_minusOneAfterTimeoutWithoutProcessorTime)
{
    ASSERT_TRUE(link.OpenPort());
    int byte = 0;
    const WaitMeasure wait = measure([&] { byte = link.ReadByte(300ms); });
    EXPECT_EQ(byte, -1);
    EXPECT_GE(wait.wallMs, 299);
    EXPECT_LT(wait.wallMs, 800);
    EXPECT_LT(wait.cpuMs, 30);
}

TEST_F(SerialPtyTest, unpluggedAdapter_couldNotOpenWithTheNumber)
{
    ASSERT_TRUE(QFile::link("/dev/veltrax-no-such-adapter", folder.filePath("COM7")));
    EXPECT_FALSE(link.SelectComPort(7));
    EXPECT_EQ(messages.prompts, QStringList{"Could not open Com7"});
    EXPECT_EQ(link.hidden().MSComm1.CommPort(), 7);
    EXPECT_FALSE(link.hidden().MSComm1.PortOpen());

    // Back to the working port.
    EXPECT_TRUE(link.SelectComPort(3));
    EXPECT_EQ(messages.prompts.size(), 1);
}

TEST_F(SerialPtyTest, hangUpDuringRead_throwsPromptlyAndLetsThePortGo)
{
    ASSERT_TRUE(link.OpenPort());
    QTimer::singleShot(50ms, [this] { pty.hangUp(); });

    std::optional<SerialLinkError> error;
    const WaitMeasure wait = measure([&] { error = readThrowing(5000ms); });
    ASSERT_TRUE(error.has_value()) << "the hang-up looked like a silent line";
    EXPECT_EQ(error->code(), ErrorCode::DeviceIoError);
    EXPECT_TRUE(error->description().contains("Com3"));
    EXPECT_LT(wait.wallMs, 1000);
    std::cout << "[ hang-up ] noticed after " << wait.wallMs
              << " ms: " << error->description().toStdString() << std::endl;

    // The hung-up port keeps reporting errors for as long as it stays open;
    // it must have been let go, or the window would spin from now on.
    const WaitMeasure idle = measure([&] { link.Delay(200ms); });
    EXPECT_LT(idle.cpuMs, 30);

    EXPECT_THROW(link.SendByte(0x1b), SerialLinkError);
    EXPECT_TRUE(link.ClosePort());
    EXPECT_FALSE(link.hidden().MSComm1.PortOpen());
}

TEST_F(SerialPtyTest, hangUpWhileIdle_nextWriteThrows)
{
    ASSERT_TRUE(link.OpenPort());
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
    ASSERT_TRUE(link.OpenPort());
    using Clock = std::chrono::steady_clock;
    std::mt19937 random(7);
    std::vector<double> latenciesUs;

    for (int sample = 0; sample < 40; ++sample) {
        const auto pause = std::chrono::milliseconds(2 + random() % 8);
        Clock::time_point sent;
        std::thread instrument([&] {
            std::this_thread::sleep_for(pause);
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
    const double median = latenciesUs[latenciesUs.size() / 2];
    const double p90 = latenciesUs[latenciesUs.size() * 9 / 10];
    std::cout << "[ latency ] write to ReadByte return over " << latenciesUs.size()
              << " bytes: min " << latenciesUs.front() << " us, median " << median << " us, 90% "
              << p90 << " us, max " << latenciesUs.back() << " us" << std::endl;
    RecordProperty("median_us", std::to_string(median));
    RecordProperty("max_us", std::to_string(latenciesUs.back()));
    // A 1 ms polling loop would put the median near half a millisecond; the
    // tail depends on how busy the machine is, so it is only reported.
    EXPECT_LT(median, 500);
}

} // namespace
