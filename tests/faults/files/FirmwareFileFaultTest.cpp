// Firmware files as they turn up in the field, sent through the program's own
// window and serial code to veltrax-sim.
#include "FieldConditions.h"
#include "FileFaultFixture.h"

namespace {

const QString FirmwareName = QStringLiteral("veltrax_03152024.hex");
const QByteArray Records[] = {":10000000000102030405060708090A0B0C0D0E0F78",
                              ":10001000101112131415161718191A1B1C1D1E1F68", ":00000001FF"};

QByteArray records(const QByteArray &lineEnd)
{
    return Records[0] + lineEnd + Records[1] + lineEnd + Records[2] + lineEnd;
}

using FirmwareFileFault = FileFaultFixture;

TEST_F(FirmwareFileFault, hundredThousandLines_sentWhole_updateSuccessful)
{
    // 99,975 data records, 24 address records and the end record.
    const QByteArray image = folder.generateFirmware(QStringLiteral("03152024"), "1599600");
    ASSERT_EQ(folder.readFile(FirmwareName).count('\n'), 100000);
    startInstrument();
    startWindow(false);
    QElapsedTimer clock;
    clock.start();
    window->clickSend();
    const qint64 ms = clock.elapsed();
    std::cout << "[ measured ] update of 100,000 lines: " << ms << " ms\n";

    EXPECT_EQ(window->status(), QStringLiteral("Update Successful"));
    EXPECT_EQ(messages.shown, QStringList{UpdateQuestion});
    expectIdle();
    // Odd-length records with CR LF: the bar ends exactly at the file size.
    EXPECT_EQ(window->form().progressValue(), window->form().progressMaximum());
    EXPECT_EQ(instrument->finish().exitCode, 0);
    EXPECT_TRUE(instrument->image() == image) << "the instrument assembled another image";
    // 6 s of it are the pauses before the reset and the reboot; the wire
    // itself would take 19 minutes at 19200 baud.
    EXPECT_LT(ms, 150000);
}

TEST_F(FirmwareFileFault, lineOf40003Characters_refusedByTheInstrument_statusNamesTheLine)
{
    // Byte count FF and 20,000 zero bytes: no record the monitor takes.
    const QByteArray longLine = ":FF" + QByteArray(40000, '0');
    folder.writeFile(FirmwareName, Records[0] + "\r\n" + longLine + "\r\n" + Records[2] + "\r\n");
    start();
    window->clickSend();

    EXPECT_EQ(window->status(), QStringLiteral("Failed at line 2 (NAK)"));
    EXPECT_EQ(messages.shown, QStringList{UpdateQuestion});
    expectIdle();
    instrument->finish();
    EXPECT_GE(instrument->log().noteIndex(QStringLiteral("line 2 refused")), 0);
    EXPECT_EQ(instrument->log().noteIndex(QStringLiteral("line 3")), -1);
}

// Once the flash is erasing, the file must not be needed by name again: the
// instrument would be left without firmware.
TEST_F(FirmwareFileFault, deletedDuringTheFlashWait_stillSentToTheEnd)
{
    folder.writeFile(FirmwareName, records("\r\n"));
    start({"--erase-ms", "300", "--nak-line", "3"});
    window->whenStatus(QStringLiteral("Waiting for Flash"),
                       [this] { QFile::remove(folder.filePath(FirmwareName)); });
    window->clickSend();

    ASSERT_FALSE(QFile::exists(folder.filePath(FirmwareName)));
    // The instrument refused the last line on request: every line went out.
    EXPECT_EQ(window->status(), QStringLiteral("Failed at line 3 (NAK)"));
    EXPECT_EQ(messages.shown, QStringList{UpdateQuestion});
    expectIdle();
    instrument->finish();
    EXPECT_GE(instrument->log().noteIndex(QStringLiteral("line 3 answered 15")), 0);
}

struct UnsendableCase {
    const char *name;
    QByteArray contents;
    void (*afterStartUp)(const QString &path); // null: the file stays as written
};

class UnsendableFile : public FileFaultFixture,
                       public ::testing::WithParamInterface<UnsendableCase> {};

TEST_P(UnsendableFile, invalidFile_nothingOnTheWire_windowIdle)
{
    const UnsendableCase &c = GetParam();
    folder.writeFile(FirmwareName, c.contents);
    start();
    ASSERT_EQ(window->text("lblFileName"), FirmwareName);
    const QString before = window->status();
    if (c.afterStartUp)
        c.afterStartUp(folder.filePath(FirmwareName));
    {
        AsOrdinaryUser technician; // root would read even an unreadable file
        window->clickSend();
    }

    EXPECT_EQ(window->status(), before);
    EXPECT_EQ(messages.shown, (QStringList{UpdateQuestion, QStringLiteral("Invalid File")}));
    expectIdle();
    const SimulatedInstrument::Verdict verdict = instrument->finish();
    EXPECT_EQ(verdict.exitCode, 3) << "the monitor was entered: " << verdict.output.toStdString();
    EXPECT_EQ(instrument->log().received(), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    FileFaults, UnsendableFile,
    ::testing::Values(
        // Read as one line holding CRs, which are no hexadecimal digits.
        UnsendableCase{"crOnlyLineEnds", records("\r"), nullptr},
        UnsendableCase{"nulInsideALine", records("\r\n").replace(60, 1, QByteArray(1, '\0')),
                       nullptr},
        // What a copy that never finished leaves behind.
        UnsendableCase{"zeroFilled", QByteArray(4096, '\0'), nullptr},
        UnsendableCase{"empty", {}, nullptr},
        UnsendableCase{"deletedAfterStartUp", records("\r\n"),
                       [](const QString &path) { QFile::remove(path); }},
        UnsendableCase{"replacedByAFolder", records("\r\n"),
                       [](const QString &path) {
                           QFile::remove(path);
                           QDir().mkdir(path);
                       }},
        UnsendableCase{"unreadableAfterStartUp", records("\r\n"),
                       [](const QString &path) { QFile::setPermissions(path, {}); }}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
