// The serial link over an in-memory device and, through the real port code, a pseudo-terminal.
#include "CoalescingLink.h"
#include "CommStuff.h"
#include "FakeMessages.h"
#include "MemoryByteDevice.h"
#include "QSerialByteDevice.h"
#include "QtPrinters.h"
#include "ScriptedInstrument.h"
#include "UploaderError.h"
#include "frmHidden.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

// A raw pseudo-terminal linked as COM3 in a folder of its own, and the real
// port code opened on it; the test holds the master side.
struct PtyOnCom3 {
    QTemporaryDir folder;
    int master = -1, slave = -1;
    FakeMessages messages;
    CommStuff link{messages, [this] { return std::make_unique<QSerialByteDevice>(folder.path()); }};

    bool open()
    {
        char name[256] = {};
        termios raw{};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        return QFile::link(QString::fromLocal8Bit(name), folder.filePath("COM3")) &&
               link.SelectComPort(3) && link.OpenPort();
    }
    ~PtyOnCom3()
    {
        if (slave >= 0)
            ::close(slave);
    }
};

// Wall milliseconds of a wait, and how often the event loop slept meanwhile:
// an event-driven wait sleeps, a polling one never does or keeps waking.
template <typename Work> std::pair<double, int> measure(Work &&work)
{
    int sleeps = 0;
    const auto counter =
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [&sleeps] { ++sleeps; });
    QElapsedTimer clock;
    clock.start();
    work();
    QObject::disconnect(counter);
    return {clock.nsecsElapsed() / 1e6, sleeps};
}

// What a loaded machine may add to a wait, far below the 5 s time-outs that
// tell a wait ended by its byte from one that ran out.
constexpr double SlackMs = 2000;

struct Link {
    FakeMessages messages;
    MemoryByteDevice *device = nullptr;
    CommStuff link{messages,
                   [this] { return std::unique_ptr<ByteDevice>(device = new MemoryByteDevice); }};
    MSComm &port = link.hidden().MSComm1;
};

// ReadByte hands over one byte (0x80 and up never read as -1) or -1 once its
// time-out has passed; the time-out wins over a byte landing in the same pass.
TEST(CommStuffWaits, readByte_endsOnItsByteOrItsTimeout)
{
    // clang-format off
    const struct { const char *name; bool open; std::function<void(Link &)> before;
                   std::chrono::milliseconds timeout; int result, left; double minMs; } rows[] = {
        {"waiting_oneTakenAtOnce", true, [](Link &l) { l.device->feed("\xff\x01"); }, 5000ms, 0xff, 1, 0},
        {"silentLine", true, {}, 60ms, -1, 0, 59},
        {"closedPort_atOnce", false, [](Link &l) { l.device->feed("A"); }, 5000ms, -1, 1, 0},
        {"byteWithTimeout", true, [](Link &l) { QObject::connect(&l.link.hidden().TimerTimeout, &QTimer::timeout, l.device, [&l] { l.device->feed("Z"); }); }, 30ms, -1, 1, 29},
    };
    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link l;
        l.port.setPortOpen(row.open);
        if (row.before)
            row.before(l);
        const double wallMs =
            measure([&] { EXPECT_EQ(l.link.ReadByte(row.timeout), row.result); }).first;
        EXPECT_EQ(l.device->waiting().size(), row.left);
        EXPECT_TRUE(wallMs >= row.minMs && wallMs < row.minMs + SlackMs) << wallMs;
    }
}

// Picking a port tries it (open, the settling wait, close) unless it is the
// number already held; afterwards the port is closed and holds the new number.
TEST(CommStuffWaits, selectComPort_triesANewPortAndLeavesItClosed)
{
    // clang-format off
    const struct { const char *name; bool startOpen; int select; bool refused, result; QStringList history, prompts; } rows[] = {
        {"same_notTried", false, 1, true, true, {}, {}},
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
        int settled = 0;
        QObject::connect(&l.link.hidden().TimerPortOpen, &QTimer::timeout,
                         [&settled] { ++settled; });
        const double wallMs =
            measure([&] { EXPECT_EQ(l.link.SelectComPort(row.select), row.result); }).first;
        EXPECT_EQ(l.device->history().mid(before), row.history);
        EXPECT_EQ(l.messages.shown, row.prompts);
        EXPECT_TRUE(l.port.CommPort() == row.select && !l.port.PortOpen());
        // Only a port that opened waits for its line to settle, and the whole of it.
        const bool settles = row.history.contains(QStringLiteral("open %1").arg(row.select));
        EXPECT_EQ(settled, settles ? 1 : 0);
        EXPECT_EQ(l.link.hidden().TimerPortOpen.intervalAsDuration(), SerialLink::PortSettle);
        EXPECT_TRUE(!settles || wallMs >= 199) << wallMs;
    }
}

// A read sleeps in the event loop until its byte comes; a hung-up line ends
// the dialogue with an error, in a read as in a Delay, not a silent instrument.
TEST(SerialPty, readSleepsUntilItsByte_hangUpThrows)
{
    PtyOnCom3 pty;
    ASSERT_TRUE(pty.open());
    CommStuff &link = pty.link;
    int &master = pty.master;

    QTimer::singleShot(150ms, &link.hidden(), [master] { ::write(master, "B", 1); });
    const auto [wallMs, sleeps] = measure([&] { EXPECT_EQ(link.ReadByte(5000ms), 'B'); });
    EXPECT_TRUE(wallMs >= 149 && wallMs < 150 + SlackMs && sleeps >= 1 && sleeps <= 10)
        << wallMs << " ms, " << sleeps << " sleeps";

    QTimer::singleShot(50ms, &link.hidden(), [master] { ::close(master); });
    EXPECT_THROW(link.ReadByte(5000ms), SerialLinkError);
    EXPECT_THROW(link.Delay(200ms), SerialLinkError);
    EXPECT_TRUE(link.ClosePort());
}

// Bytes handed over together go to the device in one write while it takes
// them; what it cannot take yet follows in order, also behind a later hand-over,
// and nothing is lost. A write refused by a hung-up line throws.
TEST(SerialPty, sentBytesInOrderPastAFullBuffer_refusedWriteThrows)
{
    PtyOnCom3 pty;
    ASSERT_TRUE(pty.open());
    CommStuff &link = pty.link;
    int &master = pty.master;

    // Far more than a pseudo-terminal buffers, sent before anyone reads.
    QByteArray first(200000, Qt::Uninitialized), second("tail");
    for (qsizetype i = 0; i < first.size(); ++i)
        first[i] = static_cast<char>(i % 251);
    link.SendBytes(first);
    link.SendBytes(second);
    QByteArray arrived;
    QSocketNotifier reader(master, QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count > 0)
            arrived.append(buffer, count);
    });
    for (int pass = 0; pass < 50 && arrived.size() < first.size() + second.size(); ++pass)
        link.Delay(20ms);
    EXPECT_TRUE(arrived == first + second) << arrived.size() << " bytes arrived";

    reader.setEnabled(false);
    ::close(master);
    EXPECT_THROW(link.SendBytes("\x01\x02"), SerialLinkError);
    EXPECT_TRUE(link.ClosePort());
}

// Bytes still held when the port closes go out first; on a line that has
// failed meanwhile they are dropped, and the port still closes.
TEST(CoalescingLink, closeSendsWhatIsHeld_evenOnAFailedLine)
{
    for (const bool pulled : {false, true}) {
        SCOPED_TRACE(pulled ? "pulled" : "intact");
        ScriptedInstrument instrument;
        instrument.open = true;
        CoalescingLink link(instrument);
        link.SendByte(0x1b);
        link.SendBytes("\x01\x48");
        EXPECT_TRUE(instrument.wire.isEmpty());
        if (pulled)
            instrument.pullAdapter();
        EXPECT_NO_THROW(link.ClosePort());
        EXPECT_FALSE(instrument.open);
        EXPECT_EQ(instrument.wire, pulled ? QByteArray() : QByteArray("\x1b\x01\x48"));
    }
}

} // namespace
