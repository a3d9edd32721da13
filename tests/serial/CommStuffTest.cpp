#include "CommStuff.h"
#include "MemoryByteDevice.h"
#include "QtPrinters.h"
#include "RecordingMessageBox.h"
#include "UploaderError.h"
#include "WaitMeasures.h"
#include "frmHidden.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;

namespace {

class CommStuffTest : public ::testing::Test {
protected:
    void SetUp() override { link.hidden(); }

    MSComm &control() { return link.hidden().MSComm1; }
    // Opens without the settling wait, for tests about what comes after.
    void openDirectly(int port = 1)
    {
        control().setCommPort(port);
        control().setPortOpen(true);
    }
    // The device's record without the line settings.
    QStringList portHistory() const
    {
        QStringList entries = device->history();
        entries.removeIf([](const QString &entry) { return entry.startsWith("settings"); });
        return entries;
    }
    // Runs a read and keeps the error it throws, if any.
    std::optional<SerialLinkError> readThrowing(std::chrono::milliseconds timeout)
    {
        try {
            link.ReadByte(timeout);
        } catch (const SerialLinkError &error) {
            return error;
        }
        return std::nullopt;
    }

    RecordingMessageBox messages;
    MemoryByteDevice *device = nullptr;
    CommStuff link{messages, [this] {
                       auto made = std::make_unique<MemoryByteDevice>();
                       device = made.get();
                       return made;
                   }};
};

TEST_F(CommStuffTest, firstUse_loadsHiddenFormOnceWithIdleTimersAndDesignTimePort)
{
    MemoryByteDevice *const first = device;
    link.Delay(1ms);
    EXPECT_EQ(device, first) << "the hidden form was created a second time";

    frmHidden &form = link.hidden();
    for (QTimer *timer : {&form.TimerDelay, &form.TimerPortOpen, &form.TimerTimeout}) {
        EXPECT_FALSE(timer->isActive());
        EXPECT_FALSE(timer->isSingleShot());
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    }
    EXPECT_EQ(form.TimerPortOpen.interval(), 200);
    EXPECT_EQ(control().CommPort(), 1);
    EXPECT_FALSE(control().PortOpen());
    EXPECT_EQ(control().Settings(), "9600,N,8,1");
    EXPECT_EQ(device->settings(), (LineSettings{9600, 'N', 8, 1}));
}

TEST_F(CommStuffTest, readByte_bytesAlreadyWaiting_returnedAtOnceOneByteEachCall)
{
    openDirectly();
    device->feed(QByteArray("\x00\xff"
                            "A",
                            3));

    int first = 0;
    const WaitMeasure taken = measure([&] { first = link.ReadByte(5000ms); });
    EXPECT_EQ(first, 0x00);
    EXPECT_LT(taken.wallMs, 20);
    EXPECT_EQ(control().InBufferCount(), 2) << "one read must take one byte only";
    EXPECT_EQ(link.ReadByte(5000ms), 0xff);
    EXPECT_EQ(link.ReadByte(5000ms), 'A');
    EXPECT_FALSE(link.hidden().TimerTimeout.isActive());
}

TEST_F(CommStuffTest, readByte_byteArrivesDuringWait_endsWaitAndStopsTimer)
{
    openDirectly();
    QTimer::singleShot(30ms, device, [this] { device->feed("x"); });

    int byte = 0;
    const WaitMeasure wait = measure([&] { byte = link.ReadByte(5000ms); });
    EXPECT_EQ(byte, 'x');
    EXPECT_GE(wait.wallMs, 25);
    EXPECT_LT(wait.wallMs, 1000);
    EXPECT_FALSE(link.hidden().TimerTimeout.isActive());
    EXPECT_FALSE(link.TimeoutExpired);
}

TEST_F(CommStuffTest, readByte_byteDeliveredByPostedEvent_wakesAtOnce)
{
    // A byte delivered by the event loop's own queue, not by a timer or a
    // port notifier, must still end the wait at once.
    openDirectly();
    QMetaObject::invokeMethod(
        device, [this] { device->feed("p"); }, Qt::QueuedConnection);
    int byte = 0;
    const WaitMeasure wait = measure([&] { byte = link.ReadByte(2000ms); });
    EXPECT_EQ(byte, 'p');
    EXPECT_LT(wait.wallMs, 100);
}

TEST_F(CommStuffTest, readByte_silentLine_minusOneOnceTimeoutHasPassed)
{
    openDirectly();
    int byte = 0;
    const WaitMeasure wait = measure([&] { byte = link.ReadByte(60ms); });
    EXPECT_EQ(byte, -1);
    EXPECT_GE(wait.wallMs, 59);
    EXPECT_LT(wait.wallMs, 500);
    EXPECT_LT(wait.cpuMs, 15) << "an idle wait must sleep, not poll";
    EXPECT_TRUE(link.TimeoutExpired);
    EXPECT_FALSE(link.hidden().TimerTimeout.isActive());
}

TEST_F(CommStuffTest, readByte_timeoutAndByteInSamePass_timeoutWinsAndByteStays)
{
    openDirectly();
    // Runs right after TimerTimeout_Timer, within the same timer event.
    const QMetaObject::Connection sameEvent = QObject::connect(
        &link.hidden().TimerTimeout, &QTimer::timeout, device, [this] { device->feed("Z"); });

    EXPECT_EQ(link.ReadByte(30ms), -1);
    QObject::disconnect(sameEvent);
    EXPECT_EQ(device->waiting(), QByteArray("Z"));
    EXPECT_EQ(link.ReadByte(30ms), 'Z');
}

TEST_F(CommStuffTest, readByte_closedPort_minusOneAtOnceWithoutTimer)
{
    device->feed("A");
    int byte = 0;
    const WaitMeasure wait = measure([&] { byte = link.ReadByte(5000ms); });
    EXPECT_EQ(byte, -1);
    EXPECT_LT(wait.wallMs, 20);
    EXPECT_FALSE(link.hidden().TimerTimeout.isActive());
}

TEST_F(CommStuffTest, readByte_zeroTimeout_takesOnlyWhatHasCome)
{
    // A timer without an interval never fires: the wait must not hang.
    openDirectly();
    int byte = 0;
    const WaitMeasure wait = measure([&] { byte = link.ReadByte(0ms); });
    EXPECT_EQ(byte, -1);
    EXPECT_LT(wait.wallMs, 50);
    device->feed("k");
    EXPECT_EQ(link.ReadByte(0ms), 'k');
}

TEST_F(CommStuffTest, readByte_deviceFailsDuringWait_throwsPromptly)
{
    openDirectly(2);
    QTimer::singleShot(30ms, device, [this] { device->injectFailure("adapter unplugged"); });

    std::optional<SerialLinkError> error;
    const WaitMeasure wait = measure([&] { error = readThrowing(5000ms); });
    ASSERT_TRUE(error.has_value()) << "a dead port must not look like a silent line";
    EXPECT_EQ(error->code(), ErrorCode::DeviceIoError);
    EXPECT_TRUE(error->description().contains("Com2"));
    EXPECT_TRUE(error->description().contains("adapter unplugged"));
    EXPECT_LT(wait.wallMs, 1000);
    EXPECT_FALSE(link.hidden().TimerTimeout.isActive());

    // The dead port can still be let go of, and opens afresh.
    EXPECT_TRUE(link.ClosePort());
    EXPECT_FALSE(control().PortOpen());
    EXPECT_TRUE(link.OpenPort());
    EXPECT_EQ(link.ReadByte(10ms), -1);
}

TEST_F(CommStuffTest, failedDevice_everyUseOfTheLineThrows)
{
    openDirectly();
    device->feed("abc");
    device->injectFailure();
    EXPECT_THROW(link.SendByte(0x1b), SerialLinkError);
    EXPECT_THROW(link.FlushInput(), SerialLinkError);
    EXPECT_THROW(link.ReadByte(10ms), SerialLinkError);
    EXPECT_TRUE(device->written().isEmpty());
}

TEST_F(CommStuffTest, sendByte_closedPort_sendsNothingAndReportsNothing)
{
    EXPECT_NO_THROW(link.SendByte(0x1b));
    EXPECT_TRUE(device->written().isEmpty());
    EXPECT_TRUE(messages.prompts.isEmpty());
}

TEST_F(CommStuffTest, sendByte_responderAnswers_replyWaitsForNextRead)
{
    openDirectly();
    device->setResponder([this](std::uint8_t byte) {
        if (byte == 0x05)
            device->feed("\x06");
    });
    link.SendByte(0x05);
    const WaitMeasure wait = measure([&] { EXPECT_EQ(link.ReadByte(1000ms), 0x06); });
    EXPECT_LT(wait.wallMs, 20);
}

TEST_F(CommStuffTest, flushInput_discardsWaitingBytesAndThoseAlreadyDelivered)
{
    openDirectly();
    device->feed("abc");
    // Delivered by the event loop: FlushInput lets it in before discarding.
    QMetaObject::invokeMethod(
        device, [this] { device->feed("d"); }, Qt::QueuedConnection);
    link.FlushInput();
    EXPECT_TRUE(device->waiting().isEmpty());
    EXPECT_EQ(link.ReadByte(20ms), -1);
}

TEST_F(CommStuffTest, flushInput_closedPort_doesNothing)
{
    device->feed("abc");
    EXPECT_NO_THROW(link.FlushInput());
    EXPECT_TRUE(portHistory().isEmpty());
}

struct SelectCase {
    const char *name;
    int startPort;
    bool startOpen;
    int select;
    bool refused;
    bool result;
    QStringList history;
    QStringList prompts;
};

class SelectComPortTest : public CommStuffTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectComPortTest, leavesPortClosedWithNewNumber)
{
    const SelectCase &c = GetParam();
    control().setCommPort(c.startPort);
    if (c.startOpen)
        control().setPortOpen(true);
    device->setOpenable(c.select, !c.refused);
    const qsizetype before = portHistory().size();

    EXPECT_EQ(link.SelectComPort(c.select), c.result);
    EXPECT_EQ(portHistory().mid(before), c.history);
    EXPECT_EQ(messages.prompts, c.prompts);
    EXPECT_EQ(control().CommPort(), c.select);
    EXPECT_FALSE(control().PortOpen());
    EXPECT_FALSE(link.hidden().TimerPortOpen.isActive());
    EXPECT_EQ(link.hidden().TimerPortOpen.interval(), 200);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectComPortTest,
    ::testing::Values(SelectCase{"sameNumberClosed_notTried", 1, false, 1, false, true, {}, {}},
                      SelectCase{
                          "sameNumberOpen_onlyClosed", 3, true, 3, false, true, {"close 3"}, {}},
                      // The same number is not tried even when that port cannot be opened.
                      SelectCase{"sameNumberRefused_notTried", 2, false, 2, true, true, {}, {}},
                      SelectCase{"newNumberClosed_triedOpenAndClosed",
                                 1,
                                 false,
                                 4,
                                 false,
                                 true,
                                 {"open 4", "close 4"},
                                 {}},
                      SelectCase{"newNumberOpen_closedBeforeNumberChanges",
                                 3,
                                 true,
                                 4,
                                 false,
                                 true,
                                 {"close 3", "open 4", "close 4"},
                                 {}},
                      SelectCase{"newNumberRefused_namesThePort",
                                 1,
                                 false,
                                 5,
                                 true,
                                 false,
                                 {"open 5 refused"},
                                 {"Could not open Com5"}},
                      SelectCase{"newNumberRefusedFromOpen_namesThePort",
                                 3,
                                 true,
                                 12,
                                 true,
                                 false,
                                 {"close 3", "open 12 refused"},
                                 {"Could not open Com12"}}),
    [](const ::testing::TestParamInfo<SelectCase> &info) { return info.param.name; });

TEST_F(CommStuffTest, openPort_closedPort_opensAndSettles200ms)
{
    bool opened = false;
    const WaitMeasure wait = measure([&] { opened = link.OpenPort(); });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(control().PortOpen());
    EXPECT_EQ(portHistory(), QStringList{"open 1"});
    EXPECT_GE(wait.wallMs, 199);
    EXPECT_LT(wait.wallMs, 600);
    EXPECT_LT(wait.cpuMs, 30);
    EXPECT_FALSE(link.hidden().TimerPortOpen.isActive());
}

TEST_F(CommStuffTest, openPort_alreadyOpen_notReopenedButStillSettles)
{
    openDirectly(6);
    bool opened = false;
    const WaitMeasure wait = measure([&] { opened = link.OpenPort(); });
    EXPECT_TRUE(opened);
    EXPECT_EQ(portHistory(), QStringList{"open 6"});
    EXPECT_GE(wait.wallMs, 199);
    EXPECT_LT(wait.wallMs, 600);
}

TEST_F(CommStuffTest, openPort_refused_toldOnceAndNoSettlingWait)
{
    control().setCommPort(3);
    device->setOpenable(3, false);
    bool opened = true;
    const WaitMeasure wait = measure([&] { opened = link.OpenPort(); });
    EXPECT_FALSE(opened);
    EXPECT_EQ(messages.prompts, QStringList{"Could not open Com3"});
    EXPECT_LT(wait.wallMs, 100);
    EXPECT_FALSE(control().PortOpen());
    EXPECT_FALSE(link.hidden().TimerPortOpen.isActive());
    EXPECT_EQ(link.hidden().TimerPortOpen.interval(), 200);
}

TEST_F(CommStuffTest, closePort_closedOrOpen_trueAndClosedOnlyOnce)
{
    EXPECT_TRUE(link.ClosePort());
    EXPECT_TRUE(portHistory().isEmpty());
    openDirectly();
    EXPECT_TRUE(link.ClosePort());
    EXPECT_TRUE(link.ClosePort());
    EXPECT_EQ(portHistory(), (QStringList{"open 1", "close 1"}));
}

TEST_F(CommStuffTest, delay_lastsItsTimeHoweverManyEventsArrive)
{
    openDirectly();
    int events = 0;
    QTimer busy;
    busy.setInterval(0);
    QObject::connect(&busy, &QTimer::timeout, device, [&] {
        ++events;
        device->feed("n");
    });
    busy.start();

    const WaitMeasure wait = measure([&] { link.Delay(80ms); });
    busy.stop();
    EXPECT_GE(wait.wallMs, 79);
    EXPECT_LT(wait.wallMs, 500);
    EXPECT_GT(events, 10);
    EXPECT_FALSE(link.DelayActive);
    EXPECT_FALSE(link.hidden().TimerDelay.isActive());
}

TEST_F(CommStuffTest, delay_idle_takesItsTimeWithoutProcessorTime)
{
    const WaitMeasure wait = measure([&] { link.Delay(300ms); });
    EXPECT_GE(wait.wallMs, 299);
    EXPECT_LT(wait.wallMs, 700);
    EXPECT_LT(wait.cpuMs, 30);
}

TEST_F(CommStuffTest, delay_zero_returnsAtOnce)
{
    // A timer without an interval never fires: the wait must not hang.
    const WaitMeasure wait = measure([&] { link.Delay(0ms); });
    EXPECT_LT(wait.wallMs, 50);
    EXPECT_FALSE(link.hidden().TimerDelay.isActive());
}

TEST_F(CommStuffTest, delay_readByteInsideIt_eachWaitEndsOnItsOwnTimer)
{
    openDirectly();
    int nested = 0;
    double nestedEndMs = 0;
    const auto start = std::chrono::steady_clock::now();
    QTimer::singleShot(20ms, device, [&] {
        nested = link.ReadByte(1000ms);
        nestedEndMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    });
    QTimer::singleShot(50ms, device, [this] { device->feed("q"); });

    const WaitMeasure wait = measure([&] { link.Delay(150ms); });
    EXPECT_EQ(nested, 'q');
    EXPECT_GE(nestedEndMs, 45);
    EXPECT_LT(nestedEndMs, 140);
    EXPECT_GE(wait.wallMs, 149);
    EXPECT_LT(wait.wallMs, 600);
}

struct BaudCase {
    int baud;
    const char *text;
};

class SetBaudRateTest : public CommStuffTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(SetBaudRateTest, writesSettingsTextOpenOrClosed)
{
    const BaudCase &c = GetParam();
    link.SetBaudRate(c.baud);
    EXPECT_EQ(control().Settings(), c.text);
    EXPECT_EQ(device->settings(), (LineSettings{c.baud, 'N', 8, 1}));

    openDirectly();
    link.SetBaudRate(9600);
    EXPECT_EQ(device->settings().baud, 9600);
    link.SetBaudRate(c.baud);
    EXPECT_EQ(device->history().last(), QString("settings ") + c.text);
    EXPECT_TRUE(control().PortOpen());
}

INSTANTIATE_TEST_SUITE_P(Speeds, SetBaudRateTest,
                         ::testing::Values(BaudCase{19200, "19200,N,8,1"},
                                           BaudCase{300, "300,N,8,1"},
                                           BaudCase{32767, "32767,N,8,1"}));

TEST_F(CommStuffTest, setBaudRate_noSpeed_refusedAndSettingsKept)
{
    link.SetBaudRate(19200);
    for (const int baud : {0, -19200}) {
        try {
            link.SetBaudRate(baud);
            ADD_FAILURE() << "speed " << baud << " accepted";
        } catch (const UploaderError &error) {
            EXPECT_EQ(error.code(), ErrorCode::InvalidPropertyValue);
        }
    }
    EXPECT_EQ(control().Settings(), "19200,N,8,1");
    EXPECT_EQ(device->settings().baud, 19200);
}

} // namespace
