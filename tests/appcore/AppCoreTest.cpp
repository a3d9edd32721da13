// Firmware discovery, the program folder and hexcfg.dat on the real disk.
#include "FirmwareDiscovery.h"
#include "FirmwareImage.h"
#include "Preferences.h"
#include "ProgramFolder.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// Files apart by "|", "folder/name" in a folder, "~" a byte that is no character in the
// system's encoding; "*" marks the one to take.
TEST(FindFirmware, takesTheNewestPlainFileByTheDateInItsName)
{
    const char *const rows[] = {
        "veltrax_12312011.hex|veltrax_02282012.hex|*veltrax_03022012.hex|veltrax_03012012.hex",
        "veltrax_02092012.hex|veltrax_02091999b.hex|*veltrax_02091999a.hex", // ties: first by name
        "veltrax_09092012.hex/veltrax_09092013.hex|veltrax_12312099~.hex|*veltrax_01012010.hex",
        "VELTRAX_02092012.HEX|veltrax_02092012.Hex|veltrax_020920.hex|veltrax_0209201x.hex",
    };
    QtFileSystem files;
    for (const QString row : rows) {
        SCOPED_TRACE(row.toStdString());
        QTemporaryDir dir;
        QString expected;
        for (QString entry : row.split('|')) {
            if (entry.startsWith('*'))
                expected = entry.remove(0, 1);
            QDir(dir.path()).mkpath(QFileInfo(entry).path());
            const QByteArray path = QFile::encodeName(dir.filePath(entry)).replace('~', '\xff');
            std::FILE *file = std::fopen(path.constData(), "w");
            ASSERT_TRUE(file && std::fclose(file) == 0);
        }
        EXPECT_EQ(searchFirmware(files, dir.path()).FirmwareFileName, expected);
    }
    EXPECT_THROW(searchFirmware(files, QStringLiteral("/no such folder")), FileServiceError);
}

// A folder whose name does not come back through the file-name encoding is none.
TEST(ProgramFolder, usableOnlyWhenItsNameSurvivesTheFileNameEncoding)
{
    EXPECT_EQ(usableFolderPath("/opt/Pr\303\274fstand/"),
              QString::fromUtf8("/opt/Pr\303\274fstand"));
    EXPECT_EQ(usableFolderPath("/opt/Pr\374fstand"), QString()); // Latin-1
    EXPECT_EQ(usableFolderPath("veltrax"), QString());           // relative
}

// Shutdown replaces a link named hexcfg.dat with a regular file and never writes through it
// (a device node behind it must stay a device node).
TEST(Preferences, writtenAsANewFile_aLinkReplacedNotWrittenThrough)
{
    QTemporaryDir folder, elsewhere;
    const QString prefs = folder.filePath("hexcfg.dat"), target = elsewhere.filePath("dev");
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("COM=2\r\n") == 7);
    old.close();
    ASSERT_TRUE(QFile::link(target, prefs));
    QtFileSystem disk;
    writePreferences(disk, folder.path(), 7, false);
    EXPECT_TRUE(QFileInfo(prefs).isFile() && !QFileInfo(prefs).isSymLink());
    QFile written(prefs), kept(target);
    EXPECT_TRUE(written.open(QIODevice::ReadOnly) && written.readAll() == "COM=7\r\nDBG=1\r\n");
    EXPECT_TRUE(kept.open(QIODevice::ReadOnly) && kept.readAll() == "COM=2\r\n");
}

// A gigabyte, as hexcfg.dat's one line or as a firmware file, is refused in neither a
// gigabyte of memory nor seconds. A child with its address space bounded reads both.
TEST(BoundedReadsTimed, aGigabyteLineOrFirmwareFile_refusedInBoundedMemoryAndTime)
{
    QTemporaryDir folder;
    const QString firmware = folder.filePath("huge.hex");
    for (const QString &path : {folder.filePath("hexcfg.dat"), firmware}) {
        QFile huge(path);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.write("COM=") == 4 &&
                    huge.resize(qint64(1) << 30)); // sparse: a gigabyte of NULs
    }
    const auto refuseBoth = [&] {
#ifndef __SANITIZE_ADDRESS__ // whose shadow memory needs terabytes of address space
        const rlimit bound{rlim_t(256) << 20, rlim_t(256) << 20};
        setrlimit(RLIMIT_AS, &bound);
#endif
        auto peakMemoryKiB = [usage = rusage{}]() mutable {
            return getrusage(RUSAGE_SELF, &usage), usage.ru_maxrss;
        };
        QtFileSystem disk;
        const long memoryBefore = peakMemoryKiB();
        QElapsedTimer timer;
        timer.start();
        int code = 0;
        try {
            readPreferences(disk, folder.path());
        } catch (const UploaderError &failure) {
            code = failure.code();
        }
        const bool firmwareRead = FirmwareImage::load(disk, firmware).has_value();
        // The exit status has a bit for each check that failed.
        std::exit((code != ErrorCode::Overflow) | firmwareRead << 1 |
                  (peakMemoryKiB() - memoryBefore > 16 * 1024) << 2 |
                  (timer.elapsed() > 1000) << 3);
    };
    EXPECT_EXIT(refuseBoth(), testing::ExitedWithCode(0), "");
}

} // namespace
