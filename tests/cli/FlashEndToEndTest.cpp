// veltrax-flash as a process against veltrax-sim processes on pseudo-terminals:
// single instruments and their faults, a bench of four, Ctrl-C, a crashed
// update process, and the refusals that send nothing.
#include "FlashBench.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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

// veltrax-flash run in the bench folder, standard input a pipe (no terminal).
struct FlashRunner {
    FlashRunner(const ProgramFolder &folder, const QStringList &arguments)
    {
        process.setWorkingDirectory(folder.path());
        process.start(QStringLiteral(VELTRAX_FLASH), arguments);
        process.waitForStarted();
    }
    ~FlashRunner()
    {
        process.kill();
        process.waitForFinished();
    }
    void drain()
    {
        errors += QString::fromLocal8Bit(process.readAllStandardError());
        output += process.readAllStandardOutput();
    }
    // Waits until the error stream holds each of `texts`.
    bool waitForErrors(const QStringList &texts)
    {
        const QDeadlineTimer limit(20000);
        const auto ready = [&] {
            return std::all_of(texts.begin(), texts.end(),
                               [&](const QString &text) { return errors.contains(text); });
        };
        for (drain(); !ready(); drain()) {
            if (limit.hasExpired() || process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(50);
        }
        return true;
    }
    void interrupt() { ::kill(static_cast<pid_t>(process.processId()), SIGINT); } // Ctrl-C
    // The exit status; -1 when it crashed or did not end within `limitMs`.
    int finish(int limitMs = 60000)
    {
        const bool ended = process.waitForFinished(limitMs);
        drain();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // The --json lines by port; stdout must hold nothing else.
    std::map<QString, QJsonObject> json() const
    {
        std::map<QString, QJsonObject> lines;
        for (const QByteArray &line : output.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            const QString port = object.value("port").toString();
            if (!line.isEmpty() && (object.isEmpty() || !lines.emplace(port, object).second))
                ADD_FAILURE() << "not one JSON object a port: " << line.toStdString();
        }
        return lines;
    }

    QProcess process;
    QString errors;
    QByteArray output;
};

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
    void useFirmware(const QString &size = QStringLiteral("2K"))
    {
        image = folder.generateFirmware(QStringLiteral("03152024"), size);
        hexFile = folder.readFile(Firmware);
    }
    QString logs() const { return folder.scratchPath(QStringLiteral("logs")); }
    void run(const QStringList &ports, const QStringList &more = {})
    {
        QStringList all{"--yes", "--json", "--log", logs()};
        for (const QString &port : ports)
            all << "--port" << port;
        runner = std::make_unique<FlashRunner>(folder, all + more);
    }

    // One instrument's JSON line, transcript and line against what is
    // expected; without an instrument, a port that could not be opened.
    void check(const QString &port, BenchInstrument *instrument, const Expected &e)
    {
        SCOPED_TRACE(port.toStdString());
        const auto json = runner->json();
        ASSERT_TRUE(json.count(port)) << runner->output.toStdString();
        QJsonObject line = json.at(port);
        EXPECT_GT(line.take("seconds").toDouble(), 0.0);
        const int lines = e.linesSent < 0 ? lineCount(hexFile) : e.linesSent;
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(hexFile, QCryptographicHash::Sha256).toHex());
        const QString device = instrument ? instrument->device() : port;
        const char *result = e.exitCode == 0 ? "success" : "failure";
        const QJsonObject expected{{"port", port},
                                   {"device", device},
                                   {"firmware", Firmware},
                                   {"sha256", sha},
                                   {"result", result},
                                   {"status", e.status},
                                   {"exit_code", e.exitCode},
                                   {"lines_sent", lines}};
        EXPECT_EQ(QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString(),
                  QJsonDocument(expected).toJson(QJsonDocument::Compact).toStdString());

        const QString transcript = transcriptsByPort(logs())[port];
        const QString stop = e.stop.isEmpty() ? "no" : "yes (" + e.stop;
        for (const QString &expected :
             {"device:          " + device, "firmware:        " + Firmware,
              QStringLiteral("firmware size:   %1 bytes").arg(hexFile.size()),
              "firmware sha256: " + sha, "status   " + e.status + '\n', "stop pressed:    " + stop,
              QStringLiteral("lines sent:      %1\n").arg(lines),
              "status:          " + e.status + '\n',
              QStringLiteral("result:          %1 (exit code %2)").arg(result).arg(e.exitCode)})
            EXPECT_TRUE(transcript.contains(expected))
                << "no \"" << expected.toStdString() << "\" in\n"
                << transcript.toStdString();
        for (const char *stamp : {"start", "end"})
            EXPECT_TRUE(transcript.contains(QRegularExpression(
                QStringLiteral("^%1: +\\d{4}-").arg(stamp), QRegularExpression::MultilineOption)));
        // The monitor's first ACK, unless it kept silent.
        EXPECT_EQ(transcript.contains("received 6 "), e.simulatorExit != 3);
        if (!instrument)
            return;

        EXPECT_EQ(instrument->finish(), e.simulatorExit);
        const QByteArray received = instrument->log().received();
        if (e.exitCode == 0) {
            EXPECT_TRUE(received == wire(hexFile) + Reset + Reboot);
            EXPECT_TRUE(instrument->image() == image) << "the instrument assembled another image";
        } else {
            EXPECT_TRUE(wire(hexFile, lines).startsWith(received)) << "more went out than due";
        }
    }

    ProgramFolder folder;
    QByteArray hexFile, image;
    std::unique_ptr<FlashRunner> runner;
};

const Expected Success{"Update Successful", 0, -1, 0, ""};
const Expected Nak{"Failed at line 5 (NAK)", 10, 5, 4, ""};
const Expected HangUp{"Communitcations error.", 8, 5, 4, ""};
const Expected CodeBad{"File sent UNsuccessfully! (Got Error)", 10, -1, 5, ""};
const QStringList NakAt5{"--nak-line", "5"}, HangUpAt5{"--hangup-line", "5"}, Bad{"--code-bad"};

struct Single {
    const char *name;
    QStringList simulatorOptions, flashOptions;
    Expected expected;
    friend void PrintTo(const Single &row, std::ostream *out) { *out << row.name; }
};

class SingleInstrument : public FlashEndToEnd, public ::testing::WithParamInterface<Single> {};

TEST_P(SingleInstrument, jsonTranscriptAndWireTellTheSameEnd)
{
    const Single &s = GetParam();
    useFirmware();
    BenchInstrument instrument(folder, 1, QStringList{"--no-pacing"} + s.simulatorOptions);
    run({"COM1"}, s.flashOptions);
    EXPECT_EQ(runner->finish(), s.expected.exitCode) << runner->errors.toStdString();
    check("COM1", &instrument, s.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flash, SingleInstrument,
    ::testing::Values(Single{"wholeUpdate", {}, {}, Success}, Single{"nak", NakAt5, {}, Nak},
                      Single{"hangUp", HangUpAt5, {}, HangUp}, Single{"codeBad", Bad, {}, CodeBad},
                      // The first boot wait has no limit of its own: only the time limit ends it.
                      Single{"silentUntilTimeLimit",
                             {"--silent"},
                             {"--timeout", "1"},
                             {"Stopped by user!", 7, 0, 3, "time limit"}}),
    [](const auto &info) { return std::string(info.param.name); });

// Four instruments at once, each with its own end, and an adapter that cannot
// be opened, which holds none of them back; the worst decides the exit.
TEST_F(FlashEndToEnd, benchOfFour_eachEndsItsOwnWay_highestCodeWins)
{
    useFirmware();
    const QStringList faults[] = {{}, NakAt5, HangUpAt5, Bad};
    std::vector<std::unique_ptr<BenchInstrument>> instruments;
    for (int n = 1; n <= 4; ++n)
        instruments.push_back(std::make_unique<BenchInstrument>(
            folder, n, QStringList{"--no-pacing"} + faults[n - 1]));
    run({"COM1", "COM2", "COM3", "COM4", "/dev/veltrax-no-such-adapter"});
    EXPECT_EQ(runner->finish(), 10) << runner->errors.toStdString();
    EXPECT_TRUE(runner->errors.contains("/dev/veltrax-no-such-adapter: Could not open Com"));
    check("COM1", instruments[0].get(), Success);
    check("COM2", instruments[1].get(), Nak);
    check("COM3", instruments[2].get(), HangUp);
    check("COM4", instruments[3].get(), CodeBad);
    check("/dev/veltrax-no-such-adapter", nullptr, {"Communitcations error.", 3, 0, 3, ""});
    EXPECT_TRUE(transcriptsByPort(logs())["/dev/veltrax-no-such-adapter"].contains(
        "port     could not be opened"));
}

// Ctrl-C in the middle of two transfers: Stop on both, as the button would
// press it; each line already begun is finished, nothing follows it.
TEST_F(FlashEndToEnd, ctrlCMidTransfer_stopsEveryInstrument)
{
    useFirmware("4K");
    BenchInstrument one(folder, 1, {}), two(folder, 2, {});
    run({"COM1", "COM2"});
    ASSERT_TRUE(runner->waitForErrors({"COM1: 10%", "COM2: 10%"})) << runner->errors.toStdString();
    runner->interrupt();
    EXPECT_EQ(runner->finish(10000), 7) << runner->errors.toStdString();
    EXPECT_TRUE(runner->errors.contains("Ctrl-C: Stop pressed on every instrument"));
    const auto json = runner->json();
    for (auto [port, instrument] : {std::pair{"COM1", &one}, std::pair{"COM2", &two}}) {
        SCOPED_TRACE(port);
        ASSERT_TRUE(json.count(port));
        const int sent = json.at(port)["lines_sent"].toInt();
        EXPECT_GT(sent, lineCount(hexFile) / 10);
        EXPECT_LT(sent, lineCount(hexFile));
        check(port, instrument, {"Stopped by user!", 7, sent, 4, "Ctrl-C"});
        EXPECT_TRUE(instrument->log().received() == wire(hexFile, sent));
    }
}

// A second Ctrl-C does not wait for the dialogue: in the 5 s pause before the
// reset, where Stop has no effect until it ends, the run ends at once.
TEST_F(FlashEndToEnd, secondCtrlC_endsAtOnce)
{
    useFirmware();
    BenchInstrument one(folder, 1, {"--no-pacing"}), two(folder, 2, {"--no-pacing"});
    run({"COM1", "COM2"});
    ASSERT_TRUE(runner->waitForErrors({"COM1: Resetting Defaults", "COM2: Resetting Defaults"}))
        << runner->errors.toStdString();
    QElapsedTimer clock;
    clock.start();
    runner->interrupt();
    ASSERT_TRUE(runner->waitForErrors({"Ctrl-C: Stop"}));
    runner->interrupt();
    // The new firmware is in; the reset is what is missing.
    EXPECT_EQ(runner->finish(10000), 6) << runner->errors.toStdString();
    EXPECT_LT(clock.elapsed(), 3000) << "waited for the reset pause";
    // No update process is left holding a line.
    for (auto [port, instrument] : {std::pair{"COM1", &one}, std::pair{"COM2", &two}}) {
        check(port, instrument, {"Resetting Defaults", 6, -1, 6, "Ctrl-C"});
        EXPECT_TRUE(transcriptsByPort(logs())[port].contains("killed at the second Ctrl-C"));
    }
}

// The update process of one port dies in the middle of its transfer: the other
// instrument's update goes on to its end, and the dead one is reported by the
// stage it had reached.
TEST_F(FlashEndToEnd, oneUpdateProcessKilled_theOtherUpdateGoesOn)
{
    useFirmware("4K");
    BenchInstrument one(folder, 1, {}), two(folder, 2, {});
    run({"COM1", "COM2"});
    ASSERT_TRUE(runner->waitForErrors({"COM1: 10%", "COM2: 10%"}));
    // The child for COM1: its parent is veltrax-flash, its command line names COM1.
    pid_t child = 0;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + entry + "/cmdline"), stat("/proc/" + entry + "/stat");
        if (cmdline.open(QIODevice::ReadOnly) && stat.open(QIODevice::ReadOnly) &&
            stat.readAll().split(')').value(1).split(' ').value(2).toLongLong() ==
                runner->process.processId() &&
            cmdline.readAll().split('\0').contains("COM1"))
            child = static_cast<pid_t>(entry.toInt());
    }
    ASSERT_GT(child, 0);
    ::kill(child, SIGKILL);
    EXPECT_EQ(runner->finish(), 10) << runner->errors.toStdString();
    const auto json = runner->json();
    ASSERT_TRUE(json.count("COM1"));
    EXPECT_EQ(json.at("COM1")["status"].toString(), "Sending file...");
    EXPECT_EQ(json.at("COM1")["exit_code"].toInt(), 10);
    EXPECT_TRUE(transcriptsByPort(logs())["COM1"].contains("the update process crashed"));
    check("COM2", &two, Success);
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
    runner = std::make_unique<FlashRunner>(
        folder, QStringList(r.arguments).replaceInStrings("{DEVICE}", one.device()) +
                    QStringList{"--log", logs(), "--port", "COM1", "--port", "COM2"});
    EXPECT_EQ(runner->finish(), r.exitCode);
    EXPECT_TRUE(runner->errors.contains(r.says)) << runner->errors.toStdString();
    EXPECT_TRUE(runner->errors.contains("nothing sent"));
    for (BenchInstrument *instrument : {&one, &two}) {
        EXPECT_EQ(instrument->finish(), 3) << "the monitor was entered";
        EXPECT_TRUE(instrument->log().received().isEmpty());
    }
    for (const auto &[port, line] : runner->json()) {
        EXPECT_EQ(line["exit_code"].toInt(), r.exitCode) << port.toStdString();
        EXPECT_EQ(line["lines_sent"].toInt(), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(logs()) && !QDir(logs()).isEmpty()) << "a transcript of nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Flash, Refused,
    ::testing::Values(
        Refusal{"noTerminalNoYes", {"--json"}, {}, 1, "give --yes"},
        Refusal{
            "twoPortsOneDevice", {"--yes", "--port", "{DEVICE}"}, {}, 1, "name the same device"},
        Refusal{"refusedFile",
                {"--yes", "--json"},
                ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                ":1000100010111213141516171819ZZ1B1C1D1E1F68\r\n:00000001FF\r\n",
                2,
                "Invalid File"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
