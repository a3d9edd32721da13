// The pieces of veltrax-flash that decide something on their own: the exit
// status of an update, the event framing between the processes, the one-file
// file system, the port plan and the command line.
#include "ChildEvent.h"
#include "ChildReporter.h"
#include "ConsoleWindow.h"
#include "FlashExit.h"
#include "FlashOptions.h"
#include "OneFileSystem.h"
#include "PortPlan.h"
#include "QtFileSystem.h"
#include "TerminalMessages.h"
#include "UploaderError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// How an update ended, as far as its exit status depends on it.
enum class End { Ended, PortNotOpened, Crashed, KilledByUser };

TEST(FlashExitStatus, eachEndOfAnUpdateHasItsCode)
{
    // clang-format off
    const QStringList entered{"Attempting to reboot veltrax:...", "Waiting for ACK or boot...",
                              "Waiting for boot...", "Waiting for \"MON: \"...", "Got Prompt...",
                              "Setting up... (ENQ1)"};
    // clang-format on
    const QStringList flashing = entered + QStringList{"Waiting for Flash"};
    const QStringList sent =
        flashing + QStringList{"Setting up... (ENQ2)", "Sending file...",
                               "File sent, waiting for verification...",
                               "File sent successfully! (Got Verification)", "Resetting Defaults"};
    const QStringList rebooting = sent + QStringList{"Reset OK", "Rebooting Veltrax"};
    const QStringList sending = sent.mid(0, 9), verifying = sent.mid(0, 10);
    const auto then = [](QStringList before, const char *last) { return before << last; };
    const struct {
        QStringList statuses; // every text the status line took
        const char *box;      // the OK box shown; "": none
        End end;
        int exitCode;
    } rows[] = {
        // clang-format off
        {then(rebooting, "Update Successful"), "", End::Ended, 0},
        {{}, "", End::Ended, 1}, // answered no
        {{}, "Invalid File", End::Ended, 2},
        {{"Communitcations error."}, "Could not open Com3", End::PortNotOpened, 3},
        {{"Attempting to reboot veltrax:...", "Did not got boot (reboot)!"}, "", End::Ended, 4},
        {then(entered.mid(0, 4), "Timeout waiting for \"MON: \"!"), "", End::Ended, 4},
        {then(rebooting, "Error Rebooting Veltrax"), "", End::Ended, 5},
        {then(sent, "Error Reseting Veltrax Defaults"), "", End::Ended, 6},
        {then(entered.mid(0, 2), "Stopped by user!"), "", End::Ended, 7},
        {then(sending, "Stopped by user!"), "", End::Ended, 7},
        {then(entered.mid(0, 2), "Communitcations error."), "", End::Ended, 8},
        {then(flashing, "Timeout waiting for flash... try again"), "", End::Ended, 9},
        {then(flashing, "Failed to erase flash... try again"), "", End::Ended, 9},
        {then(sending, "Failed at line 3 (NAK)"), "", End::Ended, 10},
        {then(verifying, "File sent UNsuccessfully! (Got Error)"), "", End::Ended, 10},
        {then(verifying, "Timeout waiting for verification... try again"), "", End::Ended, 10},
        {sending, "Invalid File", End::Ended, 10}, // unreadable half-way through
        // Never ended: by the furthest stage reached.
        {entered, "", End::Crashed, 8},
        {entered, "", End::KilledByUser, 7},
        {sending, "", End::Crashed, 10},
        {sent, "", End::Crashed, 6},
        {rebooting, "", End::KilledByUser, 5},
        // clang-format on
    };
    for (const auto &row : rows) {
        const UpdateTrace trace{row.statuses, *row.box ? QStringList{row.box} : QStringList(),
                                row.end == End::PortNotOpened,
                                row.end == End::Ended || row.end == End::PortNotOpened,
                                row.end == End::KilledByUser};
        EXPECT_EQ(exitCodeFor(trace), row.exitCode)
            << row.statuses.join(" / ").toStdString() << " " << row.box << " " << int(row.end);
    }
}

TEST(FlashChildEvents, anyTextSurvivesTheLine_malformedLinesAreRejected)
{
    for (const QString text :
         {"", "Waiting for \"MON: \"...", "a\\nb", "line\r\nbreak\\", "  ", "Über"}) {
        const ChildEvent sent{ChildEvent::Kind::Warning, 1712345678901, text};
        const QByteArray line = encodeEvent(sent);
        EXPECT_EQ(line.count('\n'), 1);
        const std::optional<ChildEvent> got = decodeEvent(line);
        ASSERT_TRUE(got) << line.constData();
        EXPECT_EQ(got->kind, sent.kind);
        EXPECT_EQ(got->at, sent.at);
        EXPECT_EQ(got->text, text);
    }
    for (const char *line : {"", "status", "status 12", "nosuch 1 x", "status x y",
                             "status 1 bad\\escape", "status 1 trailing\\"})
        EXPECT_FALSE(decodeEvent(line)) << line;
}

QList<QByteArray> linesOf(FileSystem &files, const QString &path)
{
    QList<QByteArray> lines;
    for (auto stream = files.OpenTextFile(path); !stream->AtEndOfStream() && lines.size() < 99;)
        lines << stream->ReadLine();
    return lines;
}

// The child reads the checked bytes exactly as the disk service would read
// the file they came from.
TEST(FlashOneFileSystem, sameLinesAsTheDisk_nothingElseThere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f.hex");
    for (const QByteArray content :
         {"", ":00000001FF", ":00000001FF\r\n", "a\r\n\r\nb\n\nc\r", "x\ry\r\r\n\n", "\n"}) {
        SCOPED_TRACE(content.toHex().constData());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        QtFileSystem disk;
        OneFileSystem memory(path, content);
        const QList<QByteArray> lines = linesOf(disk, path);
        EXPECT_EQ(linesOf(memory, path), lines);
        EXPECT_EQ(memory.lineCount(), lines.size());
        EXPECT_EQ(memory.FileSize(path), disk.FileSize(path));
    }
    OneFileSystem memory("/bench/veltrax_03152024.hex", "abc");
    auto stream = memory.OpenTextFile("/bench/veltrax_03152024.hex");
    EXPECT_EQ(stream->ReadLine(), "abc");
    EXPECT_THROW(stream->ReadLine(), FileServiceError);
    EXPECT_FALSE(memory.FileExists("/bench/other.hex"));
    EXPECT_THROW(memory.OpenTextFile("/bench/other.hex"), FileServiceError);
    EXPECT_THROW(memory.CreateTextFile("/bench/veltrax_03152024.hex"), FileServiceError);
    EXPECT_EQ(memory.ReadFile("/bench/veltrax_03152024.hex", 3), "abc");
    EXPECT_THROW(memory.ReadFile("/bench/veltrax_03152024.hex", 2), FileServiceError);
}

TEST(FlashPortPlan, namesResolvedAsTheWindowDoes_oneDeviceTwiceRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile(dir.filePath("ttyUSB0")).open(QIODevice::WriteOnly));
    const QString adapter = QFileInfo(dir.filePath("ttyUSB0")).canonicalFilePath();
    ASSERT_TRUE(QFile::link(adapter, dir.filePath("COM3")) &&
                QFile::link(adapter, dir.filePath("by-id-adapter")) &&
                QFile::link("/dev/veltrax-unplugged", dir.filePath("COM4")));

    const PortPlanResult plan =
        planPorts({"COM3", "COM4", "COM7", "/dev/veltrax-absent"}, dir.path());
    ASSERT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
    QStringList devices;
    for (const PlannedPort &port : plan.ports)
        devices << port.device;
    EXPECT_EQ(devices, QStringList({adapter, "/dev/veltrax-unplugged", "/dev/ttyS6",
                                    "/dev/veltrax-absent"}));
    EXPECT_EQ(plan.ports[0].commPort, 3);
    EXPECT_EQ(plan.ports[3].commPort, 0);

    const QStringList sameDevice[] = {{"COM3", dir.filePath("by-id-adapter")},
                                      {"COM3", adapter},
                                      {"COM7", "COM7"},
                                      {"COM7", "/dev/ttyS6"}};
    for (const QStringList &names : sameDevice)
        EXPECT_TRUE(planPorts(names, dir.path()).error.contains("name the same device"))
            << names.join(' ').toStdString();
    for (const char *name : {"ttyUSB0", "COM0", "COM256", "com3", "COM03"})
        EXPECT_TRUE(planPorts({name}, dir.path()).error.contains("not COM1")) << name;
}

TEST(FlashCommandLine, optionsAndTheirMistakes)
{
    const FlashOptionsResult full = parseFlashOptions(
        {"--port", "COM1", "--port=/dev/ttyUSB0", "--firmware", "f.hex", "--folder", "/bench",
         "--yes", "--timeout=30", "--log", "logs", "--json"});
    ASSERT_TRUE(full.error.isEmpty()) << full.error.toStdString();
    const FlashOptions &o = full.options;
    EXPECT_EQ(o.ports, QStringList({"COM1", "/dev/ttyUSB0"}));
    EXPECT_EQ(o.firmware, "f.hex");
    EXPECT_EQ(o.folder, "/bench");
    EXPECT_TRUE(o.yes && o.json);
    EXPECT_EQ(o.timeoutSeconds, 30);
    EXPECT_EQ(o.logDir, "logs");
    EXPECT_EQ(parseFlashOptions({"--port", "COM1"}).options.timeoutSeconds, 600);
    EXPECT_TRUE(parseFlashOptions({"--help"}).options.help);

    // clang-format off
    const QStringList mistakes[] = {
        {}, {"--yes"}, {"--port"}, {"--port", ""}, {"COM1"},
        {"--port", "COM1", "--timeout", "0"}, {"--port", "COM1", "--timeout", "10s"},
        {"--port", "COM1", "--timeout", "99999999999"}, {"--port", "COM1", "--yes=no"},
        {"--port", "COM1", "--colour"}};
    // clang-format on
    for (const QStringList &arguments : mistakes)
        EXPECT_FALSE(parseFlashOptions(arguments).error.isEmpty())
            << arguments.join(' ').toStdString();
}

// What the dialogue does to the console window reaches the parent: each new
// status once, the received bytes in order before the next status, the lines
// counted from the transfer on.
TEST(FlashConsoleWindow, eventsInOrder_linesCountedFromTheTransfer_overriddenStopNoticed)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QByteArray stream;
    ChildReporter reporter([&stream](const QByteArray &line) { stream += line; });
    ConsoleWindow window(reporter, "/bench/f.hex", 3);
    int overridden = 0;
    window.onStopOverridden([&overridden] { ++overridden; });

    window.setSentLine(QString()); // the transfer's clearing, before its range
    window.setStatus("Waiting for ACK or boot...");
    window.appendLog("6 ");
    window.appendLog("62 ");
    window.setKeepRunning(true);
    window.setKeepRunning(false); // Stop
    window.setKeepRunning(true);  // the transfer's start overrides it
    window.setStatus("Sending file...");
    window.setProgressRange(0, 30);
    for (int line = 1; line <= 3; ++line) {
        window.setSentLine("line");
        window.setStatus("Sending file...");
        window.appendLog("6 ");
        window.setProgressValue(line * 10);
    }
    window.setStatus("File sent, waiting for verification...");

    QStringList events;
    for (const QByteArray &line : stream.split('\n')) {
        if (const std::optional<ChildEvent> event = decodeEvent(line))
            events << QString::fromLatin1(encodeEvent(*event).split(' ').first()) + ':' +
                          event->text;
    }
    EXPECT_EQ(events, QStringList({"status:Waiting for ACK or boot...", "rx:6 62 ",
                                   "status:Sending file...", "rx:6 6 6 ", "progress:30 30 3 3",
                                   "status:File sent, waiting for verification..."}));
    EXPECT_EQ(window.linesSent(), 3);
    EXPECT_EQ(overridden, 1);
}

// Enter is Yes, as Yes is the box's default button; the end of input is No.
TEST(FlashTerminalQuestion, answers)
{
    const std::pair<const char *, bool> answers[] = {
        {"\n", true},   {"y\n", true},   {"Y\n", true},  {" yes \n", true},       {"YES", true},
        {"n\n", false}, {"no\n", false}, {"x\n", false}, {"yes please\n", false}, {"", false}};
    for (const auto &[typed, yes] : answers) {
        std::FILE *in = std::tmpfile();
        std::fputs(typed, in);
        std::rewind(in);
        char *shown = nullptr;
        std::size_t shownSize = 0;
        std::FILE *out = open_memstream(&shown, &shownSize);
        EXPECT_EQ(TerminalMessages(in, out).askYesNo("Update Veltrax?"), yes) << typed;
        std::fclose(out);
        EXPECT_TRUE(QByteArray(shown).startsWith("Update Veltrax? [Y/n] ")) << shown;
        std::free(shown);
        std::fclose(in);
    }
}

} // namespace
