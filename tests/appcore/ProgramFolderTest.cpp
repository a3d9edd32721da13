// The program folder and hexcfg.dat on the real disk: nothing is read or
// written outside the folder, and what start-up reads is bounded.
#include "ProgramFolder.h"
#include "FirmwareDiscovery.h"
#include "PortLocator.h"
#include "Preferences.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace {

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

TEST(ProgramFolder, usableOnlyWhenItsNameSurvivesTheFileNameEncoding)
{
    const struct {
        QByteArray native;
        const char *usable; // "" for unusable
    } rows[] = {
        {"/opt/veltrax", "/opt/veltrax"},
        {"/opt/veltrax/", "/opt/veltrax"},
        {"/", "/"},
        {"/opt/Pr\303\274fstand", "/opt/Pr\303\274fstand"}, // UTF-8 decodes and encodes back
        {"/opt/Pr\374fstand", ""},                          // Latin-1: other bytes come back
        {"", ""},
        {"veltrax", ""}, // relative: it would be taken from the working directory
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.native.toStdString());
        EXPECT_EQ(usableFolderPath(row.native), QString::fromUtf8(row.usable));
    }
}

// The running program names its own folder; a copy of this test program, run from a folder
// whose name is in another encoding, names none.
TEST(ProgramFolder, executableFolder_noneForAFolderNameInAnotherEncoding)
{
    if (qEnvironmentVariableIsSet("VELTRAX_PRINT_FOLDER")) { // the copy's part
        std::printf("folder=[%s]\n", QFile::encodeName(executableFolder()).constData());
        return;
    }
    const QByteArray self = QFile::encodeName(QFileInfo("/proc/self/exe").canonicalFilePath());
    EXPECT_EQ(QFile::encodeName(executableFolder()), self.left(self.lastIndexOf('/')));

    QTemporaryDir dir; // which cannot name, nor so remove, the Latin-1 folder in it
    const QByteArray folder = "'" + QFile::encodeName(dir.path()) + "/Pr\374fstand'";
    const QByteArray run =
        "mkdir " + folder + " && cp '" + self + "' " + folder + "/t && VELTRAX_PRINT_FOLDER=1 " +
        folder + "/t --gtest_filter=ProgramFolder.executableFolder_* 2>&1; rm -rf " + folder;
    std::FILE *child = ::popen(run.constData(), "r");
    ASSERT_NE(child, nullptr);
    char output[8192] = {};
    std::fread(output, 1, sizeof output - 1, child);
    ::pclose(child);
    EXPECT_NE(std::strstr(output, "folder=[]\n"), nullptr) << output;
}

// hexcfg.dat and the firmware are never looked for, nor written, outside the folder: an
// unusable folder (an empty or relative path) is not the working directory, nor the root.
// A COMn entry is not looked up there either.
TEST(ProgramFolder, unusableFolderReadsAndWritesNothing_andLooksUpNoComLink)
{
    QTemporaryDir cwd;
    writeFile(cwd.filePath("hexcfg.dat"), "COM=3\r\nDBG=1\r\n");
    writeFile(cwd.filePath("veltrax_02092012.hex"), ":00000001FF\r\n");
    ASSERT_TRUE(QFile::link(cwd.filePath("hexcfg.dat"), cwd.filePath("COM3")));
    const bool rootHadOne = QFileInfo::exists("/hexcfg.dat");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(cwd.path()));
    QtFileSystem disk;
    for (const QString folder : {"", "veltrax"}) {
        SCOPED_TRACE(folder.toStdString());
        try {
            readPreferences(disk, folder);
            ADD_FAILURE() << "read";
        } catch (const UploaderError &failure) {
            EXPECT_EQ(failure.code(), ErrorCode::PathNotFound);
        }
        EXPECT_THROW(writePreferences(disk, folder, 4, true), FileServiceError);
        EXPECT_THROW(searchFirmware(disk, folder), FileServiceError);
        EXPECT_EQ(systemPortName(3, folder), "/dev/ttyS2");
    }
    // The file service itself takes no relative path for writing.
    EXPECT_THROW(disk.CreateTextFile("hexcfg.dat"), FileServiceError);
    QDir::setCurrent(before);
    EXPECT_EQ(readFile(cwd.filePath("hexcfg.dat")), "COM=3\r\nDBG=1\r\n");
    EXPECT_EQ(QDir(cwd.path()).entryList(QDir::Files | QDir::System).size(), 3);
    EXPECT_EQ(QFileInfo::exists("/hexcfg.dat"), rootHadOne);
}

// Closing writes a new regular hexcfg.dat in the folder: whatever stood under that name is
// replaced, a link included, and a link's target is never opened for writing (a device node
// behind it must stay a device node). Start-up still reads through a link.
TEST(Preferences, writtenAsANewFileInTheFolder_aLinkReplacedNotWrittenThrough)
{
    enum InPlace { Nothing, RegularFile, LinkToFile, DanglingLink, LinkToFolder };
    const struct {
        InPlace inPlace;
        std::optional<int> readPort; // as start-up reads it before; nothing: a failure
    } rows[] = {
        {Nothing, {}}, {RegularFile, 2}, {LinkToFile, 2}, {DanglingLink, {}}, {LinkToFolder, {}}};
    const QByteArray old = "COM=2\r\nDBG=0\r\n";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.inPlace);
        QTemporaryDir folder, elsewhere;
        const QString prefs = folder.filePath("hexcfg.dat"), target = elsewhere.filePath("dev");
        if (row.inPlace == RegularFile || row.inPlace == LinkToFile)
            writeFile(row.inPlace == RegularFile ? prefs : target, old);
        ASSERT_TRUE(row.inPlace != LinkToFolder || QDir().mkpath(target));
        ASSERT_TRUE(row.inPlace < LinkToFile || QFile::link(target, prefs));
        const QDateTime modified = QFileInfo(target).lastModified();

        QtFileSystem disk;
        std::optional<int> port;
        try {
            port = readPreferences(disk, folder.path()).comPort;
        } catch (const UploaderError &) {
        }
        EXPECT_EQ(port, row.readPort);
        writePreferences(disk, folder.path(), 7, false);
        const QFileInfo written(prefs);
        EXPECT_TRUE(written.isFile() && !written.isSymLink());
        EXPECT_TRUE(written.permissions() & QFile::ReadOther); // the usual mode, not a temp's
        EXPECT_EQ(readFile(prefs), "COM=7\r\nDBG=1\r\n");
        EXPECT_EQ(
            QDir(folder.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"hexcfg.dat"})
            << "a part of a file left";
        // The target: as it was, or still missing.
        EXPECT_EQ(QFileInfo::exists(target),
                  row.inPlace == LinkToFile || row.inPlace == LinkToFolder);
        EXPECT_TRUE(row.inPlace != LinkToFile ||
                    (readFile(target) == old && QFileInfo(target).lastModified() == modified));
    }
}

// Start-up reads at most 4096 characters of each of the file's two lines: a longer line is
// an overflow (a gigabyte of one line: BoundedReadsTimed).
TEST(Preferences, eachLineReadUpTo4096Characters_aLongerOneIsAnOverflow)
{
    const QByteArray padded = "COM=" + QByteArray(4090, ' ') + "12"; // 4096 characters
    const struct {
        QByteArray contents;
        int code; // 0: read, port 12
    } rows[] = {
        {padded + "\r\nDBG=1", 0},
        {padded + "\nDBG=1" + QByteArray(4090, ' '), 0},
        {padded, 0},
        {padded + "\r\nDBG=1" + QByteArray(4091, ' ') + "\r\n", 0},
        {padded + "\r", ErrorCode::Overflow}, // a last line keeps its lone CR
        {padded + " \r\nDBG=1", ErrorCode::Overflow},
        {padded + "\r\nDBG=1" + QByteArray(4092, ' ') + "\r\n", ErrorCode::Overflow},
    };
    QtFileSystem disk;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.contents.size());
        QTemporaryDir folder;
        writeFile(folder.filePath("hexcfg.dat"), row.contents);
        try {
            EXPECT_EQ(readPreferences(disk, folder.path()).comPort, 12);
            EXPECT_EQ(row.code, 0);
        } catch (const UploaderError &failure) {
            EXPECT_EQ(failure.code(), row.code) << failure.description().toStdString();
        }
    }
}

} // namespace
