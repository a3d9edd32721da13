// veltrax-flash as a process against veltrax-sim processes on pseudo-terminals:
// single instruments and their faults, a bench of four, Ctrl-C, a crashed
// update process, and the refusals that send nothing.
#include "FlashBench.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString Firmware = QStringLiteral("veltrax_03152024.hex");
const QByteArray Reboot("\x1b\x01\x48\x01\x00\x49", 6), Reset("\x1b\x01\x3b\x01\x00\x3c", 6);

// What the program writes for a whole update of `hexFile`, lines up to `lines`.
QByteArray wire(const QByteArray &hexFile, int lines = 1 << 20)
{
    QByteArray bytes = Reboot + "quandrel\r\n\x05\x05\x05";
    for (const QByteArray &line : hexFile.trimmed().split('\n').mid(0, lines))
        bytes += '\x01' + QByteArray::fromHex(line.trimmed().mid(1));
    return bytes;
}

int lineCount(const QByteArray &hexFile)
{
    return static_cast<int>(hexFile.trimmed().split('\n').size());
}

// What one instrument's update must show: in its JSON line, its transcript
// and on its line.
struct Expected {
    QString status;
    int exitCode;
    int linesSent; // -1: every line of the file
    int simulatorExit;
    QString stop; // "": Stop never pressed; else how ("time limit", "Ctrl-C")
};

class FlashEndToEnd : public ::testing::Test {
protected:
    QByteArray useFirmware(const QString &size = QStringLiteral("2K"))
    {
        image = folder.generateFirmware(QStringLiteral("03152024"), size);
        hexFile = folder.readFile(Firmware);
        return hexFile;
    }
    QString logs() const { return folder.scratchPath(QStringLiteral("logs")); }
    QStringList arguments(const QStringList &ports, const QStringList &more = {}) const
    {
        QStringList all{"--yes", "--json", "--log", logs()};
        for (const QString &port : ports)
            all << "--port" << port;
        return all + more;
    }

    // One instrument's JSON line, transcript and line against what is expected.
    void check(const QString &port, BenchInstrument &instrument, const Expected &e)
    {
        SCOPED_TRACE(port.toStdString());
        QString problem;
        const auto json = runner->json(&problem);
        EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_TRUE(json.count(port)) << runner->output().toStdString();
        const QJsonObject line = json.at(port);
        const int lines = e.linesSent < 0 ? lineCount(hexFile) : e.linesSent;
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(hexFile, QCryptographicHash::Sha256).toHex());
        EXPECT_EQ(line.keys().size(), 9);
        EXPECT_EQ(line["device"].toString(), instrument.device());
        EXPECT_EQ(line["firmware"].toString(), Firmware);
        EXPECT_EQ(line["sha256"].toString(), sha);
        EXPECT_EQ(line["result"].toString(), e.exitCode == 0 ? "success" : "failure");
        EXPECT_EQ(line["status"].toString(), e.status);
        EXPECT_EQ(line["exit_code"].toInt(), e.exitCode);
        EXPECT_EQ(line["lines_sent"].toInt(), lines);
        EXPECT_GT(line["seconds"].toDouble(), 0.0);

        const QString transcript = transcriptsByPort(logs())[port];
        for (const QString &expected :
             {QStringLiteral("device:          ") + instrument.device(),
              QStringLiteral("firmware:        ") + Firmware,
              QStringLiteral("firmware size:   %1 bytes").arg(hexFile.size()),
              QStringLiteral("firmware sha256: ") + sha,
              QStringLiteral("status   ") + e.status + '\n',
              QStringLiteral("stop pressed:    ") +
                  (e.stop.isEmpty() ? QStringLiteral("no") : QStringLiteral("yes (") + e.stop),
              QStringLiteral("lines sent:      %1\n").arg(lines),
              QStringLiteral("status:          ") + e.status + '\n',
              QStringLiteral("result:          %1 (exit code %2)")
                  .arg(e.exitCode == 0 ? "success" : "failure")
                  .arg(e.exitCode)})
            EXPECT_TRUE(transcript.contains(expected))
                << "no \"" << expected.toStdString() << "\" in\n"
                << transcript.toStdString();
        // The monitor's first ACK, unless it kept silent.
        EXPECT_EQ(transcript.contains("received 6 "), e.simulatorExit != 3);
        EXPECT_TRUE(transcript.contains(
            QRegularExpression("^start: +\\d{4}-", QRegularExpression::MultilineOption)));
        EXPECT_TRUE(transcript.contains(
            QRegularExpression("^end: +\\d{4}-", QRegularExpression::MultilineOption)));

        EXPECT_EQ(instrument.finish(), e.simulatorExit);
        const QByteArray received = instrument.log().received();
        if (e.exitCode == 0) {
            EXPECT_TRUE(received == wire(hexFile) + Reset + Reboot);
            EXPECT_TRUE(instrument.image() == image) << "the instrument assembled another image";
        } else {
            EXPECT_TRUE(wire(hexFile, lines).startsWith(received)) << "more went out than due";
        }
    }

    ProgramFolder folder;
    QByteArray hexFile, image;
    std::unique_ptr<FlashRunner> runner;
};

struct Single {
    const char *name;
    QStringList simulatorOptions;
    QStringList flashOptions;
    Expected expected;
    friend void PrintTo(const Single &row, std::ostream *out) { *out << row.name; }
};

class SingleInstrument : public FlashEndToEnd, public ::testing::WithParamInterface<Single> {};

TEST_P(SingleInstrument, jsonTranscriptAndWireTellTheSameEnd)
{
    const Single &s = GetParam();
    useFirmware();
    BenchInstrument instrument(folder, 1, QStringList{"--no-pacing"} + s.simulatorOptions);
    runner = std::make_unique<FlashRunner>(folder, arguments({"COM1"}, s.flashOptions));
    EXPECT_EQ(runner->finish(), s.expected.exitCode) << runner->errors().toStdString();
    check(QStringLiteral("COM1"), instrument, s.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flash, SingleInstrument,
    ::testing::Values(
        Single{"wholeUpdate", {}, {}, {"Update Successful", 0, -1, 0, ""}},
        Single{"nak", {"--nak-line", "5"}, {}, {"Failed at line 5 (NAK)", 10, 5, 4, ""}},
        Single{"hangUp", {"--hangup-line", "5"}, {}, {"Communitcations error.", 8, 5, 4, ""}},
        Single{"codeBad",
               {"--code-bad"},
               {},
               {"File sent UNsuccessfully! (Got Error)", 10, -1, 5, ""}},
        // The first boot wait has no limit of its own: only the time limit ends it.
        Single{"silentUntilTimeLimit",
               {"--silent"},
               {"--timeout", "1"},
               {"Stopped by user!", 7, 0, 3, "time limit"}}),
    [](const auto &info) { return std::string(info.param.name); });

// Four instruments at once, each with its own end; the worst decides the exit.
TEST_F(FlashEndToEnd, benchOfFour_eachEndsItsOwnWay_highestCodeWins)
{
    useFirmware();
    const QStringList faults[] = {{}, {"--nak-line", "5"}, {"--hangup-line", "5"}, {"--code-bad"}};
    std::vector<std::unique_ptr<BenchInstrument>> instruments;
    for (int n = 1; n <= 4; ++n)
        instruments.push_back(std::make_unique<BenchInstrument>(
            folder, n, QStringList{"--no-pacing"} + faults[n - 1]));
    runner = std::make_unique<FlashRunner>(folder, arguments({"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(runner->finish(), 10) << runner->errors().toStdString();
    check("COM1", *instruments[0], {"Update Successful", 0, -1, 0, ""});
    check("COM2", *instruments[1], {"Failed at line 5 (NAK)", 10, 5, 4, ""});
    check("COM3", *instruments[2], {"Communitcations error.", 8, 5, 4, ""});
    check("COM4", *instruments[3], {"File sent UNsuccessfully! (Got Error)", 10, -1, 5, ""});
}

bool transferring(const QString &errors, const QStringList &ports)
{
    return std::all_of(ports.begin(), ports.end(), [&errors](const QString &port) {
        return errors.contains(port + QStringLiteral(": 10%"));
    });
}

// Ctrl-C in the middle of two transfers: Stop on both, as the button would
// press it; each line already begun is finished, nothing follows it.
TEST_F(FlashEndToEnd, ctrlCMidTransfer_stopsEveryInstrument)
{
    useFirmware("4K");
    BenchInstrument one(folder, 1, {}), two(folder, 2, {});
    runner = std::make_unique<FlashRunner>(folder, arguments({"COM1", "COM2"}));
    ASSERT_TRUE(runner->waitForErrors([](const QString &e) {
        return transferring(e, {"COM1", "COM2"});
    })) << runner->errors().toStdString();
    runner->interrupt();
    EXPECT_EQ(runner->finish(10000), 7) << runner->errors().toStdString();
    EXPECT_TRUE(runner->errors().contains("Ctrl-C: Stop pressed on every instrument"));
    QString problem;
    const auto json = runner->json(&problem);
    for (auto [port, instrument] : {std::pair{"COM1", &one}, std::pair{"COM2", &two}}) {
        SCOPED_TRACE(port);
        ASSERT_TRUE(json.count(port));
        const int sent = json.at(port)["lines_sent"].toInt();
        EXPECT_GT(sent, lineCount(hexFile) / 10);
        EXPECT_LT(sent, lineCount(hexFile));
        check(port, *instrument, {"Stopped by user!", 7, sent, 4, "Ctrl-C"});
        EXPECT_TRUE(instrument->log().received() == wire(hexFile, sent));
    }
}

// A second Ctrl-C does not wait for the dialogue: in the 5 s pause before the
// reset, where Stop has no effect until it ends, the run ends at once.
TEST_F(FlashEndToEnd, secondCtrlC_endsAtOnce)
{
    useFirmware();
    BenchInstrument one(folder, 1, {"--no-pacing"}), two(folder, 2, {"--no-pacing"});
    runner = std::make_unique<FlashRunner>(folder, arguments({"COM1", "COM2"}));
    ASSERT_TRUE(runner->waitForErrors([](const QString &e) {
        return e.contains("COM1: Resetting Defaults") && e.contains("COM2: Resetting Defaults");
    })) << runner->errors().toStdString();
    QElapsedTimer clock;
    clock.start();
    runner->interrupt();
    ASSERT_TRUE(runner->waitForErrors([](const QString &e) { return e.contains("Ctrl-C: Stop"); }));
    runner->interrupt();
    // The new firmware is in; the reset is what is missing.
    EXPECT_EQ(runner->finish(10000), 6) << runner->errors().toStdString();
    EXPECT_LT(clock.elapsed(), 3000) << "waited for the reset pause";
    QString problem;
    const auto json = runner->json(&problem);
    const auto transcripts = transcriptsByPort(logs());
    for (const char *port : {"COM1", "COM2"}) {
        SCOPED_TRACE(port);
        ASSERT_TRUE(json.count(port));
        EXPECT_EQ(json.at(port)["status"].toString(), "Resetting Defaults");
        EXPECT_EQ(json.at(port)["exit_code"].toInt(), 6);
        EXPECT_TRUE(transcripts.at(port).contains("killed at the second Ctrl-C"));
        EXPECT_TRUE(transcripts.at(port).contains("stop pressed:    yes (Ctrl-C at"));
    }
    // No update process is left holding a line.
    EXPECT_EQ(one.finish(), 6);
    EXPECT_EQ(two.finish(), 6);
}

// The update process of one port dies in the middle of its transfer: the other
// instrument's update goes on to its end, and the dead one is reported by the
// stage it had reached.
TEST_F(FlashEndToEnd, oneUpdateProcessKilled_theOtherUpdateGoesOn)
{
    useFirmware("4K");
    BenchInstrument one(folder, 1, {}), two(folder, 2, {});
    runner = std::make_unique<FlashRunner>(folder, arguments({"COM1", "COM2"}));
    ASSERT_TRUE(runner->waitForErrors([](const QString &e) {
        return transferring(e, {"COM1", "COM2"});
    }));
    // The child for COM1: the process whose parent is veltrax-flash and whose
    // command line names COM1.
    pid_t child = 0;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + entry + "/cmdline"), stat("/proc/" + entry + "/stat");
        if (!cmdline.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        if (fields.value(2).toLongLong() == runner->pid() && args.contains("COM1"))
            child = static_cast<pid_t>(entry.toInt());
    }
    ASSERT_GT(child, 0);
    ::kill(child, SIGKILL);
    EXPECT_EQ(runner->finish(), 10) << runner->errors().toStdString();
    QString problem;
    const auto json = runner->json(&problem);
    ASSERT_TRUE(json.count("COM1"));
    EXPECT_EQ(json.at("COM1")["status"].toString(), "Sending file...");
    EXPECT_EQ(json.at("COM1")["exit_code"].toInt(), 10);
    EXPECT_TRUE(transcriptsByPort(logs())["COM1"].contains("the update process crashed"));
    check("COM2", two, {"Update Successful", 0, -1, 0, ""});
}

// A port that cannot be opened: the box names it, nothing is sent, and the
// other instrument of the run is not held back by it.
TEST_F(FlashEndToEnd, portThatCannotBeOpened_endsAlone)
{
    useFirmware();
    BenchInstrument silent(folder, 2, {"--silent"});
    runner = std::make_unique<FlashRunner>(
        folder, arguments({"/dev/veltrax-no-such-adapter", "COM2"}, {"--timeout", "1"}));
    EXPECT_EQ(runner->finish(), 7) << runner->errors().toStdString();
    EXPECT_TRUE(runner->errors().contains("/dev/veltrax-no-such-adapter: Could not open Com"));
    QString problem;
    const auto json = runner->json(&problem);
    ASSERT_TRUE(json.count("/dev/veltrax-no-such-adapter"));
    const QJsonObject line = json.at("/dev/veltrax-no-such-adapter");
    EXPECT_EQ(line["status"].toString(), "Communitcations error.");
    EXPECT_EQ(line["exit_code"].toInt(), 3);
    EXPECT_TRUE(transcriptsByPort(logs())["/dev/veltrax-no-such-adapter"].contains(
        "port     could not be opened"));
    check("COM2", silent, {"Stopped by user!", 7, 0, 3, "time limit"});
}

struct Refusal {
    const char *name;
    QStringList arguments; // {DEVICE} stands for COM1's device
    QByteArray firmware;   // empty: a generated one
    int exitCode;
    QString says;
    friend void PrintTo(const Refusal &row, std::ostream *out) { *out << row.name; }
};

class Refused : public FlashEndToEnd, public ::testing::WithParamInterface<Refusal> {};

// Nothing reaches any line, and the JSON says why for every port it can name.
TEST_P(Refused, nothingSent)
{
    const Refusal &r = GetParam();
    if (r.firmware.isEmpty())
        useFirmware();
    else
        folder.writeFile(Firmware, hexFile = r.firmware);
    BenchInstrument one(folder, 1, {"--no-pacing"}), two(folder, 2, {"--no-pacing"});
    QStringList arguments = r.arguments;
    arguments.replaceInStrings("{DEVICE}", one.device());
    arguments << "--log" << logs();
    runner = std::make_unique<FlashRunner>(folder, arguments);
    EXPECT_EQ(runner->finish(), r.exitCode);
    EXPECT_TRUE(runner->errors().contains(r.says)) << runner->errors().toStdString();
    EXPECT_TRUE(runner->errors().contains("nothing sent"));
    for (BenchInstrument *instrument : {&one, &two}) {
        EXPECT_EQ(instrument->finish(), 3) << "the monitor was entered";
        EXPECT_TRUE(instrument->log().received().isEmpty());
    }
    QString problem;
    for (const auto &[port, line] : runner->json(&problem)) {
        EXPECT_EQ(line["exit_code"].toInt(), r.exitCode) << port.toStdString();
        EXPECT_EQ(line["lines_sent"].toInt(), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(logs()) && !QDir(logs()).isEmpty()) << "a transcript of nothing";
}

const QByteArray NonHexPair = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                              ":1000100010111213141516171819ZZ1B1C1D1E1F68\r\n:00000001FF\r\n";

INSTANTIATE_TEST_SUITE_P(
    Flash, Refused,
    ::testing::Values(
        Refusal{
            "noTerminalNoYes", {"--port", "COM1", "--port", "COM2", "--json"}, {}, 1, "give --yes"},
        Refusal{"twoPortsOneDevice",
                {"--yes", "--port", "COM1", "--port", "COM2", "--port", "{DEVICE}"},
                {},
                1,
                "name the same device"},
        Refusal{"refusedFile",
                {"--yes", "--json", "--port", "COM1", "--port", "COM2"},
                NonHexPair,
                2,
                "Invalid File"},
        Refusal{"relativePort",
                {"--yes", "--port", "COM1", "--port", "ttyUSB0"},
                {},
                1,
                "not COM1 to COM255 or an absolute device path"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
