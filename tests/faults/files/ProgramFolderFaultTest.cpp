// Program folders as technicians leave them: crowded, with names in other
// scripts, names that nearly follow the firmware rule, folders and dead links.
#include "FileFaultFixture.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Firmware = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                            ":10001000101112131415161718191A1B1C1D1E1F68\r\n:00000001FF\r\n";

// "f:name" a file, "d:name" a folder, "l:name" a link to nothing; the name in
// raw bytes, so that it need not be valid UTF-8.
void make(const ProgramFolder &folder, const QByteArray &entry, const QByteArray &contents = {})
{
    const QByteArray path = QFile::encodeName(folder.path()) + '/' + entry.mid(2);
    if (entry.startsWith("d:"))
        ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData();
    else if (entry.startsWith("l:"))
        ASSERT_EQ(::symlink("/nonexistent/firmware.hex", path.constData()), 0) << path.constData();
    else {
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << path.constData();
        EXPECT_EQ(::write(fd, contents.constData(), contents.size()), contents.size());
        ::close(fd);
    }
}

struct ChoiceCase {
    const char *name;
    std::vector<QByteArray> passedOver;
    QByteArray chosen;
};

class FirmwareChoice : public FileFaultFixture, public ::testing::WithParamInterface<ChoiceCase> {
protected:
    // QTemporaryDir cannot remove a name it cannot decode.
    void TearDown() override
    {
        const auto &made = GetParam().passedOver;
        for (auto entry = made.rbegin(); entry != made.rend(); ++entry)
            std::remove((QFile::encodeName(folder.path()) + '/' + entry->mid(2)).constData());
    }
};

// Every name passed over would win if it were taken. The chosen file is then
// sent, so its name must also open it; the instrument refuses line 2 to keep
// the run short.
TEST_P(FirmwareChoice, rightFileChosenAndSent_othersPassedOver)
{
    const ChoiceCase &c = GetParam();
    for (const QByteArray &entry : c.passedOver)
        make(folder, entry);
    make(folder, "f:" + c.chosen, Firmware);
    start({"--nak-line", "2"});
    EXPECT_EQ(window->text("lblFileName"), QFile::decodeName(c.chosen));
    ASSERT_EQ(window->status(), QStringLiteral("Valid file selected."));

    window->clickSend();
    EXPECT_EQ(window->status(), QStringLiteral("Failed at line 2 (NAK)"));
    EXPECT_EQ(messages.shown, QStringList{UpdateQuestion});
}

const QByteArray LongTail(233, 'x'); // with the rest, names of 253 to 255 bytes

INSTANTIATE_TEST_SUITE_P(
    FileFaults, FirmwareChoice,
    ::testing::Values(
        ChoiceCase{"nearMisses",
                   {"f:veltrax_12319999.HEX", "f:Veltrax_12319999.hex", "f:VELTRAX_12319999.hex",
                    "f:xveltrax_12319999.hex", "f: veltrax_12319999.hex", "f:veltrax-12319999.hex",
                    "f:veltrax_12319999hex", "f:veltrax_12319999.rev.hex",
                    "f:veltrax_12319999.hex~", "f:veltrax_123199.hex", "f:veltrax_123199xx.hex",
                    "f:veltrax_.hex", "f:.hex", "f:veltrax_02092012.HEX", "f:veltrax_02092012hex",
                    "f:veltrax_0209201.hex"},
                   "veltrax_03152024.hex"},
        ChoiceCase{"foldersAndDeadLinks",
                   {"d:veltrax_12319999.hex", "l:veltrax_12312098.hex", "d:old",
                    "f:old/veltrax_12312097.hex"},
                   "veltrax_03152024.hex"},
        ChoiceCase{"nonAsciiNames",
                   {"f:v\xc3\xa9ltrax_12319999.hex", "f:veltrax_12319999.h\xc3\xa8x",
                    "f:\xd0\xb2"
                    "eltrax_12319999.hex"},
                   "veltrax_06302025_Pr\xc3\xbc"
                   "fstand_\xce\xa9.hex"},
        ChoiceCase{
            "veryLongNames",
            {"f:" + QByteArray(251, 'a') + ".hex", "f:veltrax_12319999xx" + LongTail + ".bin"},
            "veltrax_12312030" + LongTail + ".hex"},
        // Latin-1, not the system's UTF-8: the decoded name would not open it.
        ChoiceCase{"undecodableName", {"f:veltrax_12319999\xe9.hex"}, "veltrax_03152024.hex"}),
    [](const auto &info) { return std::string(info.param.name); });

using CrowdedFolder = FileFaultFixture;

TEST_F(CrowdedFolder, tenThousandFiles_startUpQuick_newestTaken)
{
    for (int i = 0; i < 9999; ++i) // years 00 to 98, all beaten by 99
        make(folder, QString::asprintf("f:veltrax_%02d%02d%d%02d_%d.hex", 1 + i % 12, 1 + i % 28,
                                       19 + i % 2, i % 99, i)
                         .toLatin1());
    make(folder, "f:veltrax_01011999.hex", Firmware);
    startInstrument();
    const qint64 ms = startWindow();
    std::cout << "[ measured ] start-up with 10,000 files: " << ms << " ms\n";

    EXPECT_EQ(window->text("lblFileName"), QStringLiteral("veltrax_01011999.hex"));
    EXPECT_EQ(window->status(), QStringLiteral("Valid file selected."));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
    EXPECT_LT(ms, 2000);
}

} // namespace
