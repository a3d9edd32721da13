// The check before the erase: which files can never bring an update to its end.
#include "FirmwareImage.h"
#include "HexEncoder.h"
#include "MemoryFileSystem.h"
#include "SampleFirmware.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

const QByteArray End = ":00000001FF";

// clang-format off
// Each line judged by the bytes its pairs give (the first character and a lone
// last one never looked at): one record each, the end-of-file record last.
TEST(FirmwareImage, check_acceptsOnlyFilesThatCanSucceed)
{
    const struct { const char *name; QByteArray content; bool accepted; } rows[] = {
        {"endOnly_noLineEnd", End, true},
        {"recordsCrLf", ":0400000001020304F2\r\n" + End + "\r\n", true},
        {"lowerCaseLfOnly", ":0400000001020304f2\n:00000001ff\n", true},
        {"anyFirstCharacter_loneLastOnes", "Z0400000001020304F2x\r\n" + End + "\r", true},
        {"typesAndAddressesLeftToTheMonitor", ":02FFF007AABBA3\r\n" + End, true},
        {"empty", "", false},
        {"noEndRecord", ":0400000001020304F2\r\n", false},
        {"emptyLineAfterTheEnd", End + "\r\n\r\n", false},
        {"ctrlZAfterTheEnd", End + "\r\n\x1a", false},
        {"endRecordTwice", End + "\r\n" + End + "\r\n", false},
        {"endRecordNotLast", End + "\r\n:0400000001020304F2\r\n", false},
        {"emptyLineInside", ":0400000001020304F2\r\n\r\n" + End, false},
        {"truncated", ":0400000001020304F2\r\n:000000", false},
        {"digitMissing", ":040000000102034F2\r\n" + End, false},
        {"checksumWrong", ":0400000001020304F3\r\n" + End, false},
        {"countBelowData", ":0300000001020304F3\r\n" + End, false},
        {"countAboveData", ":05000000010203F1\r\n" + End, false},
        {"shorterThanARecord", ":00FF01\r\n" + End, false},
        {"nonHexPair", ":04000000010G0304F2\r\n" + End, false},
        {"endRecordWithBadChecksum", ":00000001FE", false},
    };
    // clang-format on
    for (const auto &row : rows) {
        QString refusal;
        const std::optional<FirmwareImage> image = FirmwareImage::check(row.content, refusal);
        EXPECT_EQ(image.has_value(), row.accepted) << row.name << ": " << refusal.toStdString();
        EXPECT_EQ(refusal.isEmpty(), row.accepted) << row.name;
        if (image)
            EXPECT_EQ(image->bytes(), row.content) << row.name;
    }
}

// What the sample generator writes passes: empty images, 64 KiB crossings
// with their address records.
TEST(FirmwareImage, check_acceptsEverySampleFile)
{
    for (const auto &[size, base] : {std::pair<std::size_t, std::uint32_t>{0, 0},
                                     {1, 0},
                                     {4096, 0},
                                     {70000, 0xFFF8},
                                     {20, 0x2FFFF}}) {
        QByteArray content;
        for (const std::string &line : encodeIntelHex(sampleImage(size, size + 1), base))
            content += QByteArray::fromStdString(line) + "\r\n";
        QString refusal;
        EXPECT_TRUE(FirmwareImage::check(content, refusal))
            << size << ": " << refusal.toStdString();
    }
}

// 64 MiB of records is the most that is read; a file reported larger is
// refused by its size, unread, however large it claims to be.
TEST(FirmwareImage, load_readsOnceUpTo64MiB_refusesLargerUnread)
{
    // 5,162,220 lines of 13 bytes and 4 of 14 (a lone last character) make 64 MiB.
    QByteArray content = QByteArray(":0000000000x\r\n").repeated(4);
    content += QByteArray(":0000000000\r\n").repeated(5162220 - 4 - 1) + End + "\r\n";
    ASSERT_EQ(content.size(), FirmwareImage::MaxFileBytes);
    MemoryFileSystem files;
    files.files["f.hex"] = content;
    QElapsedTimer clock;
    clock.start();
    const std::optional<FirmwareImage> image = FirmwareImage::load(files, "f.hex");
    const qint64 checkMs = clock.elapsed();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), FirmwareImage::MaxFileBytes);
    EXPECT_EQ(files.wholeReads, 1);
    RecordProperty("check_of_64MiB_ms", static_cast<int>(checkMs));

    content.append('\n');
    EXPECT_FALSE(FirmwareImage::check(content));
    for (const qint64 claimed : {FirmwareImage::MaxFileBytes + 1, qint64(1) << 40}) {
        files.sizes["f.hex"] = claimed;
        QString refusal;
        clock.restart();
        EXPECT_FALSE(FirmwareImage::load(files, "f.hex", refusal));
        EXPECT_LT(clock.elapsed(), 100);
        EXPECT_TRUE(refusal.contains("injected")) << refusal.toStdString();
        EXPECT_EQ(files.wholeReads, 1);
    }
}

} // namespace
