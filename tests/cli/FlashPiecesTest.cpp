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
#include <cstring>
#include <gtest/gtest.h>

namespace {

struct TraceCase {
    const char *name;
    QStringList statuses;
    QStringList messages;
    bool portOpenFailed, ended, endedByUser;
    int exitCode;
};

TEST(FlashExitStatus, eachEndOfAnUpdateHasItsCode)
{
    const QStringList entered{"Attempting to reboot veltrax:...",
                              "Waiting for ACK or boot...",
                              "Waiting for boot...",
                              "Waiting for \"MON: \"...",
                              "Got Prompt...",
                              "Setting up... (ENQ1)"};
    const QStringList flashing = entered + QStringList{"Waiting for Flash"};
    const QStringList sent =
        flashing + QStringList{"Setting up... (ENQ2)", "Sending file...",
                               "File sent, waiting for verification...",
                               "File sent successfully! (Got Verification)", "Resetting Defaults"};
    const QStringList rebooting = sent + QStringList{"Reset OK", "Rebooting Veltrax"};
    const TraceCase cases[] = {
        {"success", rebooting + QStringList{"Update Successful"}, {}, false, true, false, 0},
        {"answeredNo", {}, {}, false, true, false, 1},
        {"fileRefusedByTheUpdate", {}, {"Invalid File"}, false, true, false, 2},
        {"portNotOpened",
         {"Communitcations error."},
         {"Could not open Com3"},
         true,
         true,
         false,
         3},
        {"noBoot",
         {"Attempting to reboot veltrax:...", "Did not got boot (reboot)!"},
         {},
         false,
         true,
         false,
         4},
        {"noPrompt",
         entered.mid(0, 4) + QStringList{"Timeout waiting for \"MON: \"!"},
         {},
         false,
         true,
         false,
         4},
        {"noReboot", rebooting + QStringList{"Error Rebooting Veltrax"}, {}, false, true, false, 5},
        {"noReset",
         sent + QStringList{"Error Reseting Veltrax Defaults"},
         {},
         false,
         true,
         false,
         6},
        {"stoppedBeforeErase",
         entered.mid(0, 2) + QStringList{"Stopped by user!"},
         {},
         false,
         true,
         false,
         7},
        {"stoppedInTransfer",
         sent.mid(0, 9) + QStringList{"Stopped by user!"},
         {},
         false,
         true,
         false,
         7},
        {"lineFailedAfterOpen",
         entered.mid(0, 2) + QStringList{"Communitcations error."},
         {},
         false,
         true,
         false,
         8},
        {"eraseTimeout",
         flashing + QStringList{"Timeout waiting for flash... try again"},
         {},
         false,
         true,
         false,
         9},
        {"eraseFailed",
         flashing + QStringList{"Failed to erase flash... try again"},
         {},
         false,
         true,
         false,
         9},
        {"nak", sent.mid(0, 9) + QStringList{"Failed at line 3 (NAK)"}, {}, false, true, false, 10},
        {"codeBad",
         sent.mid(0, 10) + QStringList{"File sent UNsuccessfully! (Got Error)"},
         {},
         false,
         true,
         false,
         10},
        {"verifyTimeout",
         sent.mid(0, 10) + QStringList{"Timeout waiting for verification... try again"},
         {},
         false,
         true,
         false,
         10},
        {"fileFailedMidTransfer", sent.mid(0, 9), {"Invalid File"}, false, true, false, 10},
        // Never ended: by the furthest stage reached.
        {"crashedBeforeErase", entered, {}, false, false, false, 8},
        {"killedByUserBeforeErase", entered, {}, false, false, true, 7},
        {"crashedInTransfer", sent.mid(0, 9), {}, false, false, false, 10},
        {"crashedInResetPause", sent, {}, false, false, false, 6},
        {"crashedInReboot", rebooting, {}, false, false, true, 5},
    };
    for (const TraceCase &c : cases) {
        const UpdateTrace trace{c.statuses, c.messages, c.portOpenFailed, c.ended, c.endedByUser};
        EXPECT_EQ(exitCodeFor(trace), c.exitCode) << c.name;
    }
}

TEST(FlashChildEvents, anyTextSurvivesTheLine_malformedLinesAreRejected)
{
    const QString texts[] = {"",    "Waiting for \"MON: \"...", "a\\nb", "line\r\nbreak\\", "  ",
                             "Über"};
    for (const QString &text : texts) {
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

// The child reads the checked bytes exactly as the disk service would read
// the file they came from.
TEST(FlashOneFileSystem, sameLinesAsTheDisk_nothingElseThere)
{
    QTemporaryDir dir;
    const QByteArray contents[] = {
        "", ":00000001FF", ":00000001FF\r\n", "a\r\n\r\nb\n\nc\r", "x\ry\r\r\n\n", "\n"};
    for (const QByteArray &content : contents) {
        const QString path = dir.filePath("f.hex");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        QtFileSystem disk;
        OneFileSystem memory(path, content);
        auto fromDisk = disk.OpenTextFile(path);
        auto fromMemory = memory.OpenTextFile(path);
        qint64 lines = 0;
        while (!fromDisk->AtEndOfStream()) {
            ASSERT_FALSE(fromMemory->AtEndOfStream()) << content.toHex().constData();
            EXPECT_EQ(fromMemory->ReadLine(), fromDisk->ReadLine()) << content.toHex().constData();
            ++lines;
        }
        EXPECT_TRUE(fromMemory->AtEndOfStream());
        EXPECT_THROW(fromMemory->ReadLine(), FileServiceError);
        EXPECT_EQ(memory.lineCount(), lines) << content.toHex().constData();
        EXPECT_EQ(memory.FileSize(path), disk.FileSize(path));
    }
    OneFileSystem memory("/bench/veltrax_03152024.hex", "abc");
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

    const struct {
        QStringList names;
        const char *error;
    } refused[] = {
        {{"COM3", dir.filePath("by-id-adapter")}, "name the same device"},
        {{"COM3", adapter}, "name the same device"},
        {{"COM7", "COM7"}, "name the same device"},
        {{"COM7", "/dev/ttyS6"}, "name the same device"},
        {{"ttyUSB0"}, "not COM1"},
        {{"COM0"}, "not COM1"},
        {{"COM256"}, "not COM1"},
        {{"com3"}, "not COM1"},
        {{"COM03"}, "not COM1"},
    };
    for (const auto &r : refused) {
        const PortPlanResult result = planPorts(r.names, dir.path());
        EXPECT_TRUE(result.error.contains(r.error))
            << r.names.join(' ').toStdString() << ": " << result.error.toStdString();
    }
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

    const QStringList mistakes[] = {{},
                                    {"--yes"},
                                    {"--port"},
                                    {"--port", ""},
                                    {"--port", "COM1", "--timeout", "0"},
                                    {"--port", "COM1", "--timeout", "10s"},
                                    {"--port", "COM1", "--timeout", "99999999999"},
                                    {"--port", "COM1", "--yes=no"},
                                    {"--port", "COM1", "--colour"},
                                    {"COM1"}};
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
    const struct {
        const char *typed;
        bool yes;
    } answers[] = {
        {"\n", true},   {"y\n", true},   {"Y\n", true},  {" yes \n", true},       {"YES", true},
        {"n\n", false}, {"no\n", false}, {"x\n", false}, {"yes please\n", false}, {"", false}};
    for (const auto &answer : answers) {
        char typed[32] = {};
        std::snprintf(typed, sizeof typed, "%s", answer.typed);
        std::FILE *in = fmemopen(typed, std::max<std::size_t>(std::strlen(typed), 1), "r");
        if (std::strlen(typed) == 0) {
            std::fclose(in);
            in = std::fopen("/dev/null", "r");
        }
        char *shown = nullptr;
        std::size_t shownSize = 0;
        std::FILE *out = open_memstream(&shown, &shownSize);
        TerminalMessages terminal(in, out);
        EXPECT_EQ(terminal.askYesNo("Update Veltrax?"), answer.yes) << answer.typed;
        std::fclose(out);
        EXPECT_TRUE(QByteArray(shown).startsWith("Update Veltrax? [Y/n] ")) << shown;
        std::free(shown);
        std::fclose(in);
    }
}

} // namespace
