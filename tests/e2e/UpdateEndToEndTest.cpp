// Updates through the program's own window, serial code and disk on a pseudo-terminal,
// against veltrax-sim as a process; and what a technician's bench does to them.
#include "QtPrinters.h"
#include "SimulatedInstrument.h"
#include "UploaderWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <array>
#include <gtest/gtest.h>

namespace {

const QString Question = QStringLiteral("Update Veltrax?  This will also reset all parameters "
                                        "under the PROGRAM menu (E1) to factory defaults.");
const QString CommsError = QStringLiteral("Communitcations error.");
const QString CodeBad = QStringLiteral("File sent UNsuccessfully! (Got Error)");
const QString Firmware = QStringLiteral("veltrax_03152024.hex");
const QByteArray Reboot("\x1b\x01\x48\x01\x00\x49", 6), Reset("\x1b\x01\x3b\x01\x00\x3c", 6);

// How far into an update: nothing; ESC and the reboot request; on to the two ENQs
// before the flash wait; then, from 0 (the third ENQ), a count of firmware lines.
enum Upto : int { Nothing = -3, Entry = -2, FlashWait = -1, AllLines = 1 << 20 };

// What the program writes for an update of `hexFile`, up to `upto`.
QByteArray wire(const QByteArray &hexFile, int upto)
{
    QByteArray bytes = Reboot + "quandrel\r\n\x05\x05\x05";
    if (upto < 0)
        return bytes.left(std::array{0, 6, 18}[upto - Nothing]);
    for (const QByteArray &line : hexFile.trimmed().split('\n').mid(0, upto))
        bytes += '\x01' + QByteArray::fromHex(line.trimmed().mid(1));
    return bytes;
}

// Descriptors of this process open on `device`, also once its
// pseudo-terminal is gone ("/dev/pts/3 (deleted)").
int descriptorsOn(const QString &device)
{
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System);
    return static_cast<int>(std::count_if(fds.begin(), fds.end(), [&device](const QFileInfo &fd) {
        return (fd.symLinkTarget() + ' ').startsWith(device + ' ');
    }));
}

// The program's window on a program folder, with the simulator on its COM1.
class EndToEnd : public ::testing::Test {
protected:
    void start(const QStringList &simulatorOptions)
    {
        instrument = std::make_unique<SimulatedInstrument>(folder, QStringList{"--no-pacing"} +
                                                                       simulatorOptions);
        device = QFileInfo(folder.filePath(QStringLiteral("COM1"))).symLinkTarget();
        window = std::make_unique<UploaderWindow>(folder.path(), messages, [this] { ++ends; });
        window->start();
        // A hang fails too: Stop ends any wait of an update that runs on.
        QTimer::singleShot(20000, &window->form(), [this] { window->clickStop(); });
    }
    // Back to idle: Send File shown and usable, Stop hidden, the other input
    // controls and menus enabled again, the port let go down to its
    // descriptor, the program running.
    void expectIdle() const
    {
        EXPECT_TRUE(window->element<QPushButton>("btnSend")->isVisible());
        EXPECT_FALSE(window->element<QPushButton>("btnStop")->isVisible());
        for (const char *name : {"btnSend", "btnClear", "btnESC"})
            EXPECT_TRUE(window->element<QPushButton>(name)->isEnabled()) << name;
        EXPECT_TRUE(window->form().mCOM(1)->isEnabled());
        EXPECT_TRUE(window->form().mDebugChoice(2)->isEnabled());
        EXPECT_EQ(descriptorsOn(device), 0) << "the program still holds " << device.toStdString();
        EXPECT_EQ(ends, 0);
    }

    ProgramFolder folder;
    AnsweringMessageBox messages;
    QString device; // the pseudo-terminal behind COM1
    int ends = 0;
    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<UploaderWindow> window;
};

TEST_F(EndToEnd, newestFileSentWhole_instrumentAssemblesItsImage_updateSuccessful)
{
    // Year first, then month, then day; the century is not looked at.
    const char *dates[] = {"12312011", "02282012", "03012012", "01012112"};
    std::vector<QByteArray> images;
    for (int i = 0; i < 4; ++i)
        images.push_back(folder.generateFirmware(QLatin1String(dates[i]), "2K", i + 1));
    start({});
    EXPECT_EQ(window->text("lblFileName"), QStringLiteral("veltrax_03012012.hex"));

    window->clickSend();

    EXPECT_EQ(window->status(), QStringLiteral("Update Successful"));
    EXPECT_EQ(messages.shown, QStringList{Question});
    expectIdle();
    EXPECT_EQ(window->form().progressValue(), window->form().progressMaximum());
    EXPECT_EQ(instrument->finish().exitCode, 0) << "the instrument saw no whole update";
    EXPECT_TRUE(instrument->image() == images[2]) << "the instrument assembled another image";
    const QByteArray hexFile = folder.readFile(QStringLiteral("veltrax_03012012.hex"));
    EXPECT_TRUE(instrument->log().received() == wire(hexFile, AllLines) + Reset + Reboot);
}

const QByteArray NonHexPair = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                              ":1000100010111213141516171819ZZ1B1C1D1E1F68\r\n:00000001FF\r\n";

enum class Act { None, Stop, DeleteFile, RewriteInPlace, HoldPort, PullDevice };

// One bench fault, its fields set by name: Fault("name").simulator(...).ends(...)...
struct Fault {
    explicit Fault(const char *caseName) : name(caseName) {}
    // clang-format off
    Fault &simulator(QStringList options) { simulatorOptions = std::move(options); return *this; }
    Fault &file(QByteArray contents) { firmware = std::move(contents); return *this; }
    Fault &beforeSend(Act what) { before = what; return *this; }
    // `what` is done once the status line shows `text`, or once line `n` is being sent.
    Fault &onStatus(QString text, Act what) { stage = std::move(text); during = what; return *this; }
    Fault &onLine(int n, Act what) { line = n; during = what; return *this; }
    Fault &ends(QString text) { status = std::move(text); return *this; }
    Fault &asks(QStringList shown) { prompts = std::move(shown); return *this; }
    // The instrument received the update at least and at most this far.
    Fault &received(int least, int most) { fewest = least; this->most = most; return *this; }
    // clang-format on

    const char *name;
    QStringList simulatorOptions;
    QByteArray firmware; // empty: a generated 2 KiB image
    Act before = Act::None;
    QString stage;
    int line = 0;
    Act during = Act::None;
    QString status;      // at the end; empty: unchanged since before Send File
    QStringList prompts; // after the question
    int fewest = Nothing, most = Nothing;
    friend void PrintTo(const Fault &row, std::ostream *out) { *out << row.name; }
};

class UpdateFault : public EndToEnd, public ::testing::WithParamInterface<Fault> {
protected:
    void act(Act what)
    {
        const QString file = folder.filePath(Firmware);
        if (what == Act::Stop)
            window->clickStop();
        if (what == Act::DeleteFile)
            QFile::remove(file);
        if (what == Act::RewriteInPlace) { // as `cp other.hex` does: the same file, new bytes
            QFile same(file);
            ASSERT_TRUE(same.open(QIODevice::WriteOnly | QIODevice::Truncate));
            same.write(NonHexPair);
        }
        if (what == Act::HoldPort) { // another program: Qt, as minicom and cu, keeps a lock file
            holder = std::make_unique<QSerialPort>(device);
            ASSERT_TRUE(holder->open(QIODevice::ReadWrite));
        }
        if (what == Act::PullDevice) { // killed, as a pulled adapter ends it
            instrument.reset();
            ASSERT_FALSE(QFileInfo::exists(device)) << "COM1 still leads to a device";
        }
    }
    std::unique_ptr<QSerialPort> holder;
};

TEST_P(UpdateFault, endsWithItsText_nothingMoreSent_windowIdle)
{
    const Fault &f = GetParam();
    if (f.firmware.isEmpty())
        folder.generateFirmware(QStringLiteral("03152024"), "2K");
    else
        folder.writeFile(Firmware, f.firmware);
    const QByteArray hexFile = folder.readFile(Firmware);
    start(f.simulatorOptions);
    const QString before = window->status();
    act(f.before);
    if (f.line > 0)
        window->whenLineSent(f.line, [this, &f] { act(f.during); });
    else if (!f.stage.isEmpty())
        window->whenStatus(f.stage, [this, &f] { act(f.during); });
    window->clickSend();
    holder.reset();

    EXPECT_EQ(window->status(), f.status.isEmpty() ? before : f.status);
    EXPECT_EQ(messages.shown, QStringList{Question} + f.prompts);
    expectIdle();
    if (!instrument)
        return;
    instrument->finish();
    const QByteArray received = instrument->log().received();
    EXPECT_TRUE(wire(hexFile, f.most).startsWith(received)) << received.size() << " bytes came";
    EXPECT_GE(received.size(), wire(hexFile, f.fewest).size());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(EndToEnd, UpdateFault,
    ::testing::Values(
        Fault("nakAtLine5").simulator({"--nak-line", "5"}).ends("Failed at line 5 (NAK)").received(5, 5),
        Fault("codeBad").simulator({"--code-bad"}).ends(CodeBad).received(AllLines, AllLines),
        // The cable pulled: the port let go at once, not held through a storm of errors.
        Fault("hangUpAtLine3").simulator({"--hangup-line", "3"}).ends(CommsError).received(2, 3),
        // The first wait for the instrument has no time limit of its own.
        Fault("hangUpInTheBootWait").simulator({"--hangup-at", "boot"}).ends(CommsError).received(Entry, Entry),
        Fault("stopInTheFlashWait").simulator({"--erase-ms", "5000"}).onStatus("Waiting for Flash", Act::Stop)
            .ends("Stopped by user!").received(FlashWait, FlashWait),
        // Stop is seen at the head of a line's wait: the ACK may slip in and line 4 go out.
        Fault("stopInALine").onLine(3, Act::Stop).ends("Stopped by user!").received(3, 4),
        // Read and checked before the erase, it is sent to its end as it was then:
        // the instrument is not left without firmware.
        Fault("rewrittenInTheFlashWait_sentAsChecked").simulator({"--erase-ms", "300", "--code-bad"})
            .onStatus("Waiting for Flash", Act::RewriteInPlace).ends(CodeBad).received(AllLines, AllLines),
        // Refused before anything is sent: the instrument keeps its old firmware.
        Fault("nonHexPair").file(NonHexPair).asks({"Invalid File"}),
        Fault("deletedAfterStartUp").beforeSend(Act::DeleteFile).asks({"Invalid File"}),
        Fault("portHeldByAnotherProgram").beforeSend(Act::HoldPort).ends(CommsError).asks({"Could not open Com1"}),
        Fault("deviceGoneSinceStartUp").beforeSend(Act::PullDevice).ends(CommsError).asks({"Could not open Com1"})),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

// Closing the window mid-update ends the program at once: run as its own
// process, since the end is the process's end.
TEST(CloseMidUpdate, programEndsAtOnce_preferencesWritten_nothingMoreSent)
{
    ProgramFolder folder(QByteArrayLiteral("COM=1\r\nDBG=7\r\n")); // rewritten as DBG=1
    folder.generateFirmware(QStringLiteral("03152024"), "2K");
    SimulatedInstrument instrument(folder, {"--no-pacing"});
    QProcess program;
    // Line 4 has gone out and waits for its ACK when the window closes.
    program.start(QCoreApplication::applicationFilePath(), {"--close", folder.path(), "4"});
    QByteArray output;
    while (!output.contains("closing") && program.waitForReadyRead(20000))
        output += program.readAllStandardOutput();

    ASSERT_TRUE(program.waitForFinished(1000)) << "still running a second after the close";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(output + program.readAllStandardOutput(), "closing\n");
    EXPECT_EQ(folder.readFile(QStringLiteral("hexcfg.dat")), "COM=1\r\nDBG=1\r\n");
    instrument.finish();
    EXPECT_TRUE(instrument.log().received() == wire(folder.readFile(Firmware), 4));
}

} // namespace
