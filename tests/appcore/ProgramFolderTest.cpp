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
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Runs `body` with the working directory set to `folder`.
template <typename Body> void inWorkingDirectory(const QString &folder, Body body)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    body();
    QDir::setCurrent(before);
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
        {"/opt/Pr\xc3\xbc"
         "fstand",
         "/opt/Pr\xc3\xbc"
         "fstand"}, // UTF-8 decodes and encodes back
        {"/opt/Pr\xfc"
         "fstand",
         ""}, // Latin-1: other bytes come back
        {"/opt/\xff\xfe", ""},
        {"", ""},
        {"veltrax", ""}, // relative: it would be taken from the working directory
        {"./veltrax", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.native.toStdString());
        EXPECT_EQ(usableFolderPath(row.native), QString::fromUtf8(row.usable));
    }
}

// The running program names its own folder; run from a folder whose name is in another
// encoding, a copy of this test program names none.
TEST(ProgramFolder, executableFolder_noneForAFolderNameInAnotherEncoding)
{
    if (qEnvironmentVariableIsSet("VELTRAX_PRINT_FOLDER")) { // the copy's part
        std::printf("folder=[%s]\n", QFile::encodeName(executableFolder()).constData());
        return;
    }
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    const QByteArray program(self, length);
    EXPECT_EQ(QFile::encodeName(executableFolder()), program.left(program.lastIndexOf('/')));

    QTemporaryDir dir;
    for (const QByteArray &name : {QByteArray("Pr\xc3\xbc"
                                              "fstand"),
                                   QByteArray("Pr\xfc"
                                              "fstand")}) {
        const QByteArray folder = QFile::encodeName(dir.path()) + '/' + name;
        const QByteArray copy = folder + "/appcore_test";
        ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
        const QByteArray copying = "cp '" + program + "' '" + copy + "'";
        ASSERT_EQ(std::system(copying.constData()), 0);
        const QByteArray running = "VELTRAX_PRINT_FOLDER=1 '" + copy +
                                   "' --gtest_filter=ProgramFolder.executableFolder_* 2>&1";
        std::FILE *child = ::popen(running.constData(), "r");
        ASSERT_NE(child, nullptr);
        QByteArray output;
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, child)) > 0;)
            output.append(buffer, static_cast<qsizetype>(got));
        ::pclose(child);
        const bool decodes = name.startsWith("Pr\xc3");
        EXPECT_TRUE(output.contains("folder=[" + (decodes ? folder : QByteArray()) + "]"))
            << output.toStdString();
    }
    // QTemporaryDir cannot name what is in it.
    ASSERT_EQ(std::system(("rm -rf '" + QFile::encodeName(dir.path()) + "'/Pr*").constData()), 0);
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
    QtFileSystem disk;
    inWorkingDirectory(cwd.path(), [&] {
        for (const QString folder : {"", ".", "veltrax"}) {
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
    });
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
    for (const auto &row : rows) {
        SCOPED_TRACE(row.inPlace);
        QTemporaryDir folder, elsewhere;
        const QString prefs = folder.filePath("hexcfg.dat");
        const QString target = elsewhere.filePath("device");
        const QByteArray old = "COM=2\r\nDBG=0\r\n";
        if (row.inPlace == RegularFile)
            writeFile(prefs, old);
        if (row.inPlace == LinkToFile)
            writeFile(target, old);
        ASSERT_TRUE(row.inPlace != LinkToFolder || QDir().mkpath(target));
        ASSERT_TRUE(row.inPlace < LinkToFile || QFile::link(target, prefs));
        const QFileInfo before(target);
        const QDateTime modified = before.lastModified();

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
        EXPECT_EQ(readFile(prefs), "COM=7\r\nDBG=1\r\n");
        EXPECT_EQ(
            QDir(folder.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"hexcfg.dat"})
            << "a part of a file left";
        // The target: as it was, or still missing.
        EXPECT_EQ(QFileInfo::exists(target),
                  row.inPlace == LinkToFile || row.inPlace == LinkToFolder);
        if (row.inPlace == LinkToFile) {
            EXPECT_EQ(readFile(target), old);
            EXPECT_EQ(QFileInfo(target).lastModified(), modified);
        }
        if (row.inPlace == RegularFile || row.inPlace == Nothing) {
            // The usual mode for a new file, the old one's for a replaced file.
            EXPECT_TRUE(written.permissions() & QFile::ReadOther);
        }
    }
}

// Start-up reads at most 4096 characters of each of the file's two lines: a longer line is
// an overflow, however long it is.
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
        {"COM=" + QByteArray(10 << 20, '7'), ErrorCode::Overflow},
    };
    QtFileSystem disk;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.contents.left(10).toStdString() + "... " +
                     std::to_string(row.contents.size()));
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

// A gigabyte of one line takes neither a gigabyte nor seconds to refuse (a child process
// with its address space bounded proves it).
TEST(PreferencesTimed, aGigabyteLine_refusedInBoundedMemoryAndTime)
{
    QtFileSystem disk;
    QTemporaryDir folder;
    QFile huge(folder.filePath("hexcfg.dat"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.write("COM=") == 4 &&
                huge.resize(qint64(1) << 30)); // sparse: a gigabyte of NULs
    huge.close();
    // Far below a gigabyte, well above what the process needs besides.
    const auto readUnderAMemoryBound = [&] {
        const rlimit bound{rlim_t(256) << 20, rlim_t(256) << 20};
        setrlimit(RLIMIT_AS, &bound);
        QElapsedTimer timer;
        timer.start();
        int code = 0;
        try {
            readPreferences(disk, folder.path());
        } catch (const UploaderError &failure) {
            code = failure.code();
        }
        std::exit(code == ErrorCode::Overflow && timer.elapsed() < 1000 ? 0 : 1);
    };
    EXPECT_EXIT(readUnderAMemoryBound(), testing::ExitedWithCode(0), "");
}

} // namespace
