// The serial link over an in-memory device: what each procedure does to the
// port, and that its waits take their time without burning the processor.
#include "CommStuff.h"
#include "FakeMessages.h"
#include "MemoryByteDevice.h"
#include "QtPrinters.h"
#include "UploaderError.h"
#include "WaitMeasures.h"
#include "frmHidden.h"

#include <QRegularExpression>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct Link {
    Link() { link.hidden(); }
    MSComm &control() { return link.hidden().MSComm1; }
    // Opens without the settling wait, for tests about what comes after.
    void openDirectly(int port = 1)
    {
        control().setCommPort(port);
        control().setPortOpen(true);
    }
    QStringList portHistory() const
    {
        return device->history().filter(QRegularExpression("^(open|close)"));
    }

    FakeMessages messages;
    MemoryByteDevice *device = nullptr;
    CommStuff link{messages, [this] {
                       auto made = std::make_unique<MemoryByteDevice>();
                       device = made.get();
                       return made;
                   }};
};

class CommStuffTest : public ::testing::Test, public Link {};

TEST(CommStuff, readByte_endsOnItsByteOrItsTimeout)
{
    using Device = MemoryByteDevice;
    const struct {
        const char *name;
        bool open;
        std::function<void(Device &)> before;
        std::chrono::milliseconds timeout;
        int result, left; // bytes still waiting after the read
        double minMs, maxMs;
    } rows[] = {
        // clang-format off
        {"waiting_oneTakenAtOnce", true, [](Device &d) { d.feed(QByteArray(2, '\0')); }, 5000ms, 0, 1, 0, 20},
        {"arrivesDuringWait_takenThen", true, [](Device &d) { QTimer::singleShot(30ms, &d, [&d] { d.feed("x"); }); }, 5000ms, 'x', 0, 25, 1000},
        {"postedByEventLoop_wakesAtOnce", true, [](Device &d) { QMetaObject::invokeMethod(&d, [&d] { d.feed("p"); }, Qt::QueuedConnection); }, 2000ms, 'p', 0, 0, 100},
        {"silentLine_minusOneAfterTimeout", true, {}, 60ms, -1, 0, 59, 500},
        {"closedPort_minusOneAtOnce", false, [](Device &d) { d.feed("A"); }, 5000ms, -1, 1, 0, 20},
        // A timer without an interval never fires: the wait must not hang.
        {"zeroTimeoutSilent_minusOneAtOnce", true, {}, 0ms, -1, 0, 0, 50},
        {"zeroTimeout_takesWhatHasCome", true, [](Device &d) { d.feed("k"); }, 0ms, 'k', 0, 0, 50},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link l;
        if (row.open)
            l.openDirectly();
        if (row.before)
            row.before(*l.device);
        int byte = -2;
        const WaitMeasure wait = measure([&] { byte = l.link.ReadByte(row.timeout); });
        EXPECT_EQ(byte, row.result);
        EXPECT_EQ(l.device->waiting().size(), row.left);
        EXPECT_TRUE(wait.wallMs >= row.minMs && wait.wallMs < row.maxMs) << wait.wallMs;
        EXPECT_LT(wait.cpuMs, 15) << "a wait must sleep, not poll";
        EXPECT_FALSE(l.link.hidden().TimerTimeout.isActive());
    }
}

TEST_F(CommStuffTest, readByte_timeoutAndByteInSamePass_timeoutWinsAndByteStays)
{
    openDirectly();
    // Runs right after TimerTimeout_Timer, within the same timer event.
    const QMetaObject::Connection sameEvent = QObject::connect(
        &link.hidden().TimerTimeout, &QTimer::timeout, device, [this] { device->feed("Z"); });
    EXPECT_EQ(link.ReadByte(30ms), -1);
    QObject::disconnect(sameEvent);
    EXPECT_EQ(link.ReadByte(30ms), 'Z');
}

TEST_F(CommStuffTest, deviceFailsDuringRead_throwsPromptlyThenOnEveryUseUntilReopened)
{
    openDirectly(2);
    QTimer::singleShot(30ms, device, [this] { device->injectFailure("adapter unplugged"); });
    const WaitMeasure wait = measure([&] {
        try {
            link.ReadByte(5000ms);
            ADD_FAILURE() << "a dead port must not look like a silent line";
        } catch (const SerialLinkError &error) {
            EXPECT_EQ(error.code(), ErrorCode::DeviceIoError);
            EXPECT_TRUE(error.description().contains("Com2") &&
                        error.description().contains("adapter unplugged"));
        }
    });
    EXPECT_LT(wait.wallMs, 1000);
    EXPECT_FALSE(link.hidden().TimerTimeout.isActive());
    EXPECT_THROW(link.SendByte(0x1b), SerialLinkError);
    EXPECT_THROW(link.FlushInput(), SerialLinkError);
    EXPECT_TRUE(device->written().isEmpty());
    // The dead port can still be let go of, and opens afresh.
    EXPECT_TRUE(link.ClosePort());
    EXPECT_TRUE(link.OpenPort());
    EXPECT_EQ(link.ReadByte(10ms), -1);
}

TEST_F(CommStuffTest, flushInput_discardsWhatHasCome_replyToNextByteKept_closedPortUntouched)
{
    device->feed("ab");
    link.SendByte(0x1b);
    link.FlushInput();
    EXPECT_TRUE(device->written().isEmpty() && portHistory().isEmpty());
    openDirectly();
    device->feed("c");
    // Delivered by the event loop: FlushInput lets it in before discarding.
    QMetaObject::invokeMethod(
        device, [this] { device->feed("d"); }, Qt::QueuedConnection);
    link.FlushInput();
    EXPECT_EQ(link.ReadByte(20ms), -1);
    device->setResponder(
        [this](std::uint8_t byte) { device->feed(QByteArray(1, char(byte + 1))); });
    link.SendByte(0x05);
    EXPECT_EQ(link.ReadByte(1000ms), 0x06);
    EXPECT_EQ(device->written(), "\x05");
}

// Selecting a port opens it on trial (with its settling wait) and closes it.
TEST(CommStuff, selectComPort_leavesPortClosedWithNewNumber)
{
    const struct {
        const char *name;
        int startPort;
        bool startOpen;
        int select;
        bool refused, result;
        QStringList history, prompts;
        double minMs, maxMs;
    } rows[] = {
        // clang-format off
        {"sameNumberClosed_notTried", 1, false, 1, false, true, {}, {}, 0, 50},
        {"sameNumberOpen_onlyClosed", 3, true, 3, false, true, {"close 3"}, {}, 0, 50},
        // The same number is not tried even when that port cannot be opened.
        {"sameNumberRefused_notTried", 2, false, 2, true, true, {}, {}, 0, 50},
        {"newNumberClosed_triedOpenAndClosed", 1, false, 4, false, true, {"open 4", "close 4"}, {}, 199, 600},
        {"newNumberOpen_closedBeforeNumberChanges", 3, true, 4, false, true, {"close 3", "open 4", "close 4"}, {}, 199, 600},
        {"newNumberRefused_namesThePortWithoutSettling", 1, false, 5, true, false, {"open 5 refused"}, {"Could not open Com5"}, 0, 100},
        {"newNumberRefusedFromOpen_namesThePort", 3, true, 12, true, false, {"close 3", "open 12 refused"}, {"Could not open Com12"}, 0, 100},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link l;
        l.control().setCommPort(row.startPort);
        if (row.startOpen)
            l.control().setPortOpen(true);
        l.device->setOpenable(row.select, !row.refused);
        const qsizetype before = l.portHistory().size();
        bool selected = !row.result;
        const WaitMeasure wait = measure([&] { selected = l.link.SelectComPort(row.select); });
        EXPECT_EQ(selected, row.result);
        EXPECT_EQ(l.portHistory().mid(before), row.history);
        EXPECT_EQ(l.messages.shown, row.prompts);
        EXPECT_EQ(l.control().CommPort(), row.select);
        EXPECT_FALSE(l.control().PortOpen());
        EXPECT_TRUE(wait.wallMs >= row.minMs && wait.wallMs < row.maxMs) << wait.wallMs;
        EXPECT_LT(wait.cpuMs, 30);
        EXPECT_FALSE(l.link.hidden().TimerPortOpen.isActive());
        EXPECT_EQ(l.link.hidden().TimerPortOpen.interval(), 200);
    }
}

TEST_F(CommStuffTest, openPort_alreadyOpen_notReopenedButSettles)
{
    openDirectly(6);
    const WaitMeasure wait = measure([&] { EXPECT_TRUE(link.OpenPort()); });
    EXPECT_EQ(portHistory(), QStringList{"open 6"});
    EXPECT_TRUE(wait.wallMs >= 199 && wait.wallMs < 600) << wait.wallMs;
}

TEST(CommStuff, delay_lastsItsTimeHoweverManyEventsArrive)
{
    // clang-format off
    const struct { const char *name; bool busy; std::chrono::milliseconds wait; double minMs, maxMs; } rows[] = {
        {"idle_asleep", false, 300ms, 299, 700},
        {"bytesAndEventsArriving", true, 80ms, 79, 500},
        // A timer without an interval never fires: the wait must not hang.
        {"zero_returnsAtOnce", false, 0ms, 0, 50},
    };
    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link l;
        l.openDirectly();
        int events = 0;
        QTimer busy;
        QObject::connect(&busy, &QTimer::timeout, l.device, [&] {
            ++events;
            l.device->feed("n");
        });
        if (row.busy)
            busy.start(0);
        const WaitMeasure wait = measure([&] { l.link.Delay(row.wait); });
        busy.stop();
        EXPECT_TRUE(wait.wallMs >= row.minMs && wait.wallMs < row.maxMs) << wait.wallMs;
        EXPECT_TRUE(row.busy ? events > 10 : wait.cpuMs < 30) << events << " " << wait.cpuMs;
        EXPECT_FALSE(l.link.DelayActive || l.link.hidden().TimerDelay.isActive());
    }
}

TEST_F(CommStuffTest, delay_readByteInsideIt_eachWaitEndsOnItsOwnTimer)
{
    MemoryByteDevice *const first = device;
    openDirectly();
    int nested = 0;
    WaitMeasure nestedWait;
    QTimer::singleShot(20ms, device,
                       [&] { nestedWait = measure([&] { nested = link.ReadByte(1000ms); }); });
    QTimer::singleShot(50ms, device, [this] { device->feed("q"); });
    const WaitMeasure wait = measure([&] { link.Delay(150ms); });
    EXPECT_EQ(nested, 'q');
    EXPECT_TRUE(nestedWait.wallMs >= 25 && nestedWait.wallMs < 120) << nestedWait.wallMs;
    EXPECT_TRUE(wait.wallMs >= 149 && wait.wallMs < 600) << wait.wallMs;
    EXPECT_EQ(device, first) << "the hidden form was created a second time";
}

TEST_F(CommStuffTest, setBaudRate_reachesTheDeviceClosedOrOpen)
{
    link.SetBaudRate(19200);
    EXPECT_EQ(control().Settings(), "19200,N,8,1");
    EXPECT_EQ(device->settings(), (LineSettings{19200, 'N', 8, 1}));
    openDirectly();
    link.SetBaudRate(300);
    EXPECT_EQ(device->settings().baud, 300);
    EXPECT_TRUE(control().PortOpen());
    EXPECT_THROW(link.SetBaudRate(0), UploaderError);
    EXPECT_EQ(device->settings().baud, 300);
}

} // namespace
