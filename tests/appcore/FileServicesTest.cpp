// Firmware discovery and bounded reads on the real disk.
#include "FirmwareDiscovery.h"
#include "FirmwareImage.h"
#include "Preferences.h"
#include "QtFileSystem.h"
#include "UploaderError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

TEST(FindFirmware, takesTheNewestPlainFileByTheDateInItsName)
{
    QtFileSystem files;
    // Files apart by "|", "folder/name" in a folder, "~" a byte that is no character in the
    // system's encoding; "*" marks the one to take.
    const char *const rows[] = {
        // Year (of the century only), then month, then day; a tie goes to the first by name.
        "veltrax_12312011.hex|veltrax_02282012.hex|veltrax_03012012.hex|*veltrax_03022012.hex",
        "veltrax_02092012.hex|veltrax_02091999b.hex|*veltrax_02091999a.hex",
        // Only plain files directly in the folder, and only names that open again as listed.
        "veltrax_09092012.hex/veltrax_09092013.hex|veltrax_12312099~.hex|*veltrax_01012010.hex",
        "VELTRAX_02092012.HEX|Veltrax_02092012.hex|veltrax_02092012.Hex|veltrax.hex|veltrax_.hex|"
        "veltrax_020920.hex|veltrax_0209xxab.hex|veltrax_0209201x.hex|veltrax_12312012.rev.hex",
        "veltrax_12312000.hex|*veltrax_010120 1.hex.bak|veltrax_123120-1.hex",
    };
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
        const FirmwareSearch search = searchFirmware(files, dir.path());
        EXPECT_EQ(search.FirmwareFileName.toStdString(), expected.toStdString());
        EXPECT_EQ(search.FirmwareFound, !expected.isEmpty());
    }
    // A folder that cannot be listed is a failure, not a folder without firmware.
    EXPECT_THROW(searchFirmware(files, QStringLiteral("/no such folder")), FileServiceError);
}

int errorCode(const std::function<void()> &action)
{
    try {
        action();
    } catch (const FileServiceError &error) {
        return error.code();
    }
    return 0;
}

long peakMemoryKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The firmware file is read whole, as it is, up to its bound; one that says it is smaller
// than it is (system files report no size) is stopped at the bound.
TEST(QtFileSystem, readFile_wholeUpToItsBound)
{
    QtFileSystem files;
    QTemporaryDir dir;
    const QString small = dir.filePath("small.hex");
    const QByteArray contents(":00000001FF\r\n\x1a\r", 15);
    QFile file(small);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(contents) == 15);
    file.close();
    EXPECT_EQ(files.ReadFile(small, 15), contents);
    EXPECT_EQ(errorCode([&] { files.ReadFile(small, 14); }), ErrorCode::FileTooLarge);
    const QString status = QStringLiteral("/proc/self/status");
    if (QFileInfo(status).isFile() && QFileInfo(status).size() == 0) {
        EXPECT_EQ(errorCode([&] { files.ReadFile(status, 16); }), ErrorCode::FileTooLarge);
        EXPECT_TRUE(files.ReadFile(status, 1 << 20).startsWith("Name:"));
    }
    for (const QString &missing : {dir.filePath("none.hex"), dir.path()})
        EXPECT_EQ(errorCode([&] { files.ReadFile(missing, 100); }), ErrorCode::FileNotFound);
}

// A gigabyte, as hexcfg.dat's one line or as a firmware file, is refused in neither a
// gigabyte of memory nor seconds: the firmware by its size, unread, the line after 4096
// characters. A child with its address space bounded reads both.
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
#ifndef __SANITIZE_ADDRESS__
        // AddressSanitizer reserves terabytes of address space for its shadow
        // memory; under it the peak-memory check alone bounds the reads.
        const rlimit bound{rlim_t(256) << 20, rlim_t(256) << 20};
        setrlimit(RLIMIT_AS, &bound);
#endif
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
