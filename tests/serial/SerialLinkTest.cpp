// The serial link over an in-memory device and, through the real port code,
// over a pseudo-terminal: what each procedure does to the port, and that its
// waits sleep in the event loop for as long as they should. The tests that
// measure real time (CommStuffWaits, SerialPty) run apart, under the pty label.
#include "CommStuff.h"
#include "FakeMessages.h"
#include "MemoryByteDevice.h"
#include "PortLocator.h"
#include "PseudoTerminal.h"
#include "QSerialByteDevice.h"
#include "QtPrinters.h"
#include "UploaderError.h"
#include "frmHidden.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using namespace std::chrono_literals;

namespace {

// The waits run Qt's event loop, so every test needs an application object.
struct CoreApplication : ::testing::Environment {
    int argc = 1;
    char name[16] = "serial_tests", *argv[2] = {name, nullptr};
    std::optional<QCoreApplication> app;
    void SetUp() override { app.emplace(argc, argv); }
    void TearDown() override { app.reset(); }
};
const auto *const environment = ::testing::AddGlobalTestEnvironment(new CoreApplication);

// What a wait cost: wall and processor time in milliseconds, and how often the
// event loop went to sleep meanwhile.
struct WaitMeasure {
    double wallMs = 0, cpuMs = 0;
    int sleeps = 0;
};

template <typename Work> WaitMeasure measure(Work &&work)
{
    WaitMeasure wait{0, -1e3 * std::clock() / CLOCKS_PER_SEC, 0};
    const auto counter =
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [&wait] { ++wait.sleeps; });
    QElapsedTimer clock;
    clock.start();
    work();
    wait.wallMs = clock.nsecsElapsed() / 1e6;
    wait.cpuMs += 1e3 * std::clock() / CLOCKS_PER_SEC;
    QObject::disconnect(counter);
    return wait;
}

// An event-driven wait sleeps in the event loop until something happens; a
// polling loop, busy or with 1 ms sleeps, never does, or keeps waking.
inline void expectAsleep(const WaitMeasure &wait)
{
    EXPECT_TRUE(wait.sleeps >= 1 && wait.sleeps <= 10 && wait.cpuMs < 30)
        << wait.sleeps << " sleeps, " << wait.cpuMs << " ms processor time";
}

struct Link {
    FakeMessages messages;
    MemoryByteDevice *device = nullptr;
    CommStuff link{messages,
                   [this] { return std::unique_ptr<ByteDevice>(device = new MemoryByteDevice); }};
    MSComm &port = link.hidden().MSComm1;
};

// ReadByte hands over exactly one byte (0x80 and up never read as -1) or -1
// once its time-out has passed; a zero time-out once never ended. No byte from
// before a FlushInput passes for a reply, not even one still on its way through
// the event loop; the ESC button flushes and sends with the port closed.
TEST(CommStuffWaits, readByte_endsOnItsByteOrItsTimeout)
{
    // clang-format off
    const struct { const char *name; bool open; std::function<void(Link &)> before;
                   std::chrono::milliseconds timeout; int result, left; double minMs; } rows[] = {
        {"waiting_oneTakenAtOnce", true, [](Link &l) { l.device->feed("\xff\x01"); }, 5000ms, 0xff, 1, 0},
        {"arrivesDuringWait", true, [](Link &l) { QTimer::singleShot(30ms, l.device, [&l] { l.device->feed("x"); }); }, 5000ms, 'x', 0, 25},
        {"silentLine", true, {}, 60ms, -1, 0, 59},
        {"closedPort_atOnce", false, [](Link &l) { l.device->feed("A"); l.link.FlushInput(); l.link.SendByte(0x1b); }, 5000ms, -1, 1, 0},
        {"flushed", true, [](Link &l) { l.device->feed("c"); QMetaObject::invokeMethod(l.device, [&l] { l.device->feed("d"); }, Qt::QueuedConnection); l.link.FlushInput(); }, 20ms, -1, 0, 19},
        {"zeroTimeoutSilent", true, {}, 0ms, -1, 0, 0},
        {"zeroTimeoutWaiting", true, [](Link &l) { l.device->feed("k"); }, 0ms, 'k', 0, 0},
        // The time-out wins over a byte landing in the same pass; the byte stays.
        {"byteWithTimeout", true, [](Link &l) { QObject::connect(&l.link.hidden().TimerTimeout, &QTimer::timeout, l.device, [&l] { l.device->feed("Z"); }); }, 30ms, -1, 1, 29},
    };
    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link l;
        l.port.setPortOpen(row.open);
        if (row.before)
            row.before(l);
        const auto read = [&] { EXPECT_EQ(l.link.ReadByte(row.timeout), row.result); };
        const double wallMs = measure(read).wallMs;
        EXPECT_EQ(l.device->waiting().size(), row.left);
        EXPECT_TRUE(wallMs >= row.minMs && wallMs < row.minMs + 300) << wallMs;
        EXPECT_TRUE(l.device->written().isEmpty() && l.port.PortOpen() == row.open);
    }
}

// A Delay lasts its time while the window's events go on: what the operator
// does meanwhile is handled then, a ReadByte inside it ending on its own timer.
TEST(CommStuffWaits, delay_lastsItsTimeAndHandlesEventsMeanwhile)
{
    Link l;
    l.port.setPortOpen(true);
    EXPECT_LT(measure([&] { l.link.Delay(0ms); }).wallMs, 50);
    int nested = -2;
    QTimer::singleShot(20ms, l.device, [&] { nested = l.link.ReadByte(1000ms); });
    QTimer::singleShot(50ms, l.device, [&] { l.device->feed("q"); });
    const double wallMs = measure([&] { l.link.Delay(150ms); }).wallMs;
    EXPECT_EQ(nested, 'q');
    EXPECT_TRUE(wallMs >= 149 && wallMs < 600) << wallMs;
}

// Picking a port tries it (open, the settling wait, close) unless it is the
// number already held; afterwards the port is closed and holds the new number.
TEST(CommStuffWaits, selectComPort_triesANewPortAndLeavesItClosed)
{
    // clang-format off
    const struct { const char *name; bool startOpen; int select; bool refused, result; QStringList history, prompts; } rows[] = {
        {"same_notTried", false, 1, true, true, {}, {}},
        {"sameOpen_onlyClosed", true, 1, false, true, {"close 1"}, {}},
        {"new_tried", false, 4, false, true, {"open 4", "close 4"}, {}},
        {"newFromOpen_closedFirst", true, 4, false, true, {"close 1", "open 4", "close 4"}, {}},
        {"newRefused_named", true, 12, true, false, {"close 1", "open 12 refused"}, {"Could not open Com12"}},
    };
    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link l;
        l.port.setPortOpen(row.startOpen);
        l.device->setOpenable(row.select, !row.refused);
        const qsizetype before = l.device->history().size();
        const auto select = [&] { EXPECT_EQ(l.link.SelectComPort(row.select), row.result); };
        const double wallMs = measure(select).wallMs;
        EXPECT_EQ(l.device->history().mid(before), row.history);
        EXPECT_EQ(l.messages.shown, row.prompts);
        EXPECT_TRUE(l.port.CommPort() == row.select && !l.port.PortOpen());
        const bool settles = row.history.contains(QStringLiteral("open %1").arg(row.select));
        EXPECT_TRUE(settles ? wallMs >= 199 && wallMs < 600 : wallMs < 100) << wallMs;
    }
}

// A COMn link in the program folder names the adapter, relative to the folder
// if need be; an unplugged adapter must fail, not open a built-in UART.
TEST(PortLocator, comLinkResolvedToItsDevice_elseBuiltInUart)
{
    QTemporaryDir folder;
    ASSERT_TRUE(QFile(folder.filePath("ttyUSB0")).open(QIODevice::WriteOnly));
    const QString adapter = QFileInfo(folder.filePath("ttyUSB0")).canonicalFilePath();
    ASSERT_TRUE(QFile::link(adapter, folder.filePath("COM3")) &&
                QFile::link("ttyUSB0", folder.filePath("COM5")) &&
                QFile::link("/dev/veltrax-no-such-adapter", folder.filePath("COM2")));
    QStringList names;
    for (int port = 1; port <= 5; ++port)
        names << systemPortName(port, folder.path());
    EXPECT_EQ(names, QStringList({"/dev/ttyS0", "/dev/veltrax-no-such-adapter", adapter,
                                  "/dev/ttyS3", adapter}));
}

struct PtyLink {
    QTemporaryDir folder;
    PseudoTerminal pty;
    FakeMessages messages;
    CommStuff link{messages, [this] { return std::make_unique<QSerialByteDevice>(folder.path()); }};
    const QString com3 = pty.linkAsComPort(folder.path(), 3);
};

// The line is raw both ways (no flow control, no CR/LF translation), a read
// sleeps until its byte comes, and an unplugged adapter's port cannot be picked.
TEST(SerialPty, everyByteValueBothWays_readSleepsUntilItsByte)
{
    PtyLink l;
    ASSERT_TRUE(l.link.SelectComPort(3) && l.link.OpenPort());
    QByteArray all, received;
    for (int value = 0; value < 256; ++value)
        l.link.SendByte(static_cast<std::uint8_t>(all.append(static_cast<char>(value)).back()));
    l.link.Delay(50ms);
    EXPECT_EQ(l.pty.readAvailable(), all);
    l.pty.write(all);
    for (int byte = 0; received.size() < all.size() && (byte = l.link.ReadByte(1000ms)) >= 0;)
        received.append(static_cast<char>(byte));
    EXPECT_EQ(received, all);

    QTimer::singleShot(150ms, &l.link.hidden(), [&l] { l.pty.write("B"); });
    const WaitMeasure wait = measure([&] { EXPECT_EQ(l.link.ReadByte(1000ms), 'B'); });
    EXPECT_TRUE(wait.wallMs >= 149 && wait.wallMs < 400) << wait.wallMs;
    expectAsleep(wait);

    ASSERT_TRUE(QFile::link("/dev/veltrax-no-such-adapter", l.folder.filePath("COM7")));
    EXPECT_FALSE(l.link.SelectComPort(7));
    EXPECT_EQ(l.messages.shown, QStringList{"Could not open Com7"});
}

// A hung-up line must end the dialogue with an error, not look like a silent
// instrument; and the port must be let go, or QSerialPort's notifier keeps
// firing and the window spins at full processor load.
TEST(SerialPty, hangUpDuringRead_throwsAndLetsThePortGo)
{
    PtyLink l;
    ASSERT_TRUE(l.link.SelectComPort(3) && l.link.OpenPort());
    QTimer::singleShot(50ms, &l.link.hidden(), [&l] { l.pty.hangUp(); });
    EXPECT_LT(measure([&] { EXPECT_THROW(l.link.ReadByte(5000ms), SerialLinkError); }).wallMs,
              1000);
    QEventLoop window;
    QTimer::singleShot(200ms, &window, &QEventLoop::quit);
    expectAsleep(measure([&] { window.exec(); }));
    EXPECT_THROW(l.link.Delay(200ms), SerialLinkError);
    EXPECT_THROW(l.link.SendByte(0x1b), SerialLinkError);
    EXPECT_TRUE(l.link.ClosePort());
}

} // namespace
