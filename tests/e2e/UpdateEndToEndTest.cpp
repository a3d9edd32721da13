// Updates through the program's own window, serial code and disk on a pseudo-terminal,
// against veltrax-sim as a process; and what a technician's bench does to them.
#include "QtPrinters.h"
#include "SimulatedInstrument.h"
#include "UpdateWire.h"
#include "UploaderWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QString Question = QStringLiteral("Update Veltrax?  This will also reset all parameters "
                                        "under the PROGRAM menu (E1) to factory defaults.");
const QString CommsError = QStringLiteral("Communitcations error.");
const QString Firmware = QStringLiteral("veltrax_03152024.hex");
constexpr int AllLines = 1 << 20, Whole = AllLines + 1; // Whole: reset and reboot too

// What the program writes for an update of `hexFile`, up to its line `upto` (-1: nothing).
QByteArray wire(const QByteArray &hexFile, int upto)
{
    const QByteArray bytes = e2e::transferWire(hexFile, upto);
    return upto < 0        ? QByteArray()
           : upto == Whole ? bytes + e2e::ResetBytes + e2e::RebootBytes
                           : bytes;
}

// Descriptors of this process on `device`, also once it is gone ("... (deleted)").
int descriptorsOn(const QString &device)
{
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System);
    return static_cast<int>(std::count_if(fds.begin(), fds.end(), [&device](const QFileInfo &fd) {
        return (fd.symLinkTarget() + ' ').startsWith(device + ' ');
    }));
}

enum class Act { None, RewriteInPlace, HoldPort, PullDevice };

// clang-format off
struct Fault {
    const char *name;
    QStringList simulatorOptions;
    Act before, inFlashWait;
    QString status;
    QStringList prompts; // after the question
    int fewest, most;    // lines the instrument received at least and at most
    friend void PrintTo(const Fault &row, std::ostream *out) { *out << row.name; }
};
// clang-format on

// The program's window on a program folder, with the simulator on its COM1.
class EndToEnd : public ::testing::TestWithParam<Fault> {
protected:
    void act(Act what)
    {
        if (what == Act::RewriteInPlace) { // as `cp other.hex` does: the same file, new bytes
            QFile same(folder.filePath(Firmware));
            ASSERT_TRUE(same.open(QIODevice::WriteOnly | QIODevice::Truncate));
            same.write(":1000100010111213141516171819ZZ1B1C1D1E1F68\r\n:00000001FF\r\n");
        }
        if (what == Act::HoldPort) { // Qt, as minicom and cu, keeps a lock file
            holder = std::make_unique<QSerialPort>(device);
            ASSERT_TRUE(holder->open(QIODevice::ReadWrite));
        }
        if (what == Act::PullDevice) { // killed, as a pulled adapter ends it
            instrument.reset();
            ASSERT_FALSE(QFileInfo::exists(device)) << "COM1 still leads to a device";
        }
    }

    ProgramFolder folder;
    FakeMessages messages;
    QString device; // the pseudo-terminal behind COM1
    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<QSerialPort> holder;
};

TEST_P(EndToEnd, endsWithItsText_nothingMoreSent_windowIdle)
{
    const Fault &f = GetParam();
    const QByteArray image = folder.generateFirmware(QStringLiteral("03152024"), "2K");
    const QByteArray hexFile = folder.readFile(Firmware);
    instrument = std::make_unique<SimulatedInstrument>(folder, QStringList(f.simulatorOptions)
                                                                   << "--no-pacing");
    device = QFileInfo(folder.filePath(QStringLiteral("COM1"))).symLinkTarget();
    int ends = 0;
    UploaderWindow window(folder.path(), messages, [&ends] { ++ends; });
    window.start();
    QTimer::singleShot(20000, &window.form(), [&window] { window.clickStop(); }); // a hang fails
    act(f.before);
    window.whenStatus("Waiting for Flash", [this, &f] { act(f.inFlashWait); });
    window.clickSend();
    holder.reset();

    EXPECT_EQ(window.status(), f.status);
    EXPECT_EQ(messages.shown, QStringList{Question} + f.prompts);
    EXPECT_TRUE(window.element<QPushButton>("btnSend")->isVisible());
    EXPECT_FALSE(window.element<QPushButton>("btnStop")->isVisible());
    EXPECT_EQ(descriptorsOn(device), 0) << "the program still holds " << device.toStdString();
    EXPECT_EQ(ends, 0);
    if (!instrument)
        return;
    const int verdict = instrument->finish();
    const QByteArray received = instrument->log().received();
    EXPECT_TRUE(wire(hexFile, f.most).startsWith(received)) << received.size() << " bytes came";
    EXPECT_GE(received.size(), wire(hexFile, f.fewest).size());
    if (f.most == Whole) { // the image the instrument assembled is the file's
        EXPECT_TRUE(verdict == 0 && instrument->image() == image);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Bench, EndToEnd, ::testing::Values(
    Fault{"wholeUpdate", {}, Act::None, Act::None, "Update Successful", {}, Whole, Whole},
    // The cable pulled: the port let go at once, not held through a storm of errors.
    Fault{"hangUpAtLine3", {"--hangup-line", "3"}, Act::None, Act::None, CommsError, {}, 2, 3},
    // Read and checked before the erase, it is sent as it was then: the flash is not left empty.
    Fault{"rewrittenInTheFlashWait_sentAsChecked", {"--erase-ms", "300", "--code-bad"}, Act::None,
          Act::RewriteInPlace, "File sent UNsuccessfully! (Got Error)", {}, AllLines, AllLines},
    Fault{"portHeld", {}, Act::HoldPort, Act::None, CommsError, {"Could not open Com1"}, -1, -1},
    Fault{"deviceGone", {}, Act::PullDevice, Act::None, CommsError, {"Could not open Com1"}, -1, -1}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

// Closing the window mid-update ends the program at once, as its own process.
TEST(CloseMidUpdate, programEndsAtOnce_preferencesWritten_nothingMoreSent)
{
    ProgramFolder folder(QByteArrayLiteral("COM=1\r\nDBG=7\r\n")); // rewritten as DBG=1
    folder.generateFirmware(QStringLiteral("03152024"), "2K");
    SimulatedInstrument instrument(folder, {"--no-pacing"});
    QProcess program; // closes once line 4 has gone out
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
