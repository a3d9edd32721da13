// The check before the erase: which files can never bring an update to its end.
#include "FirmwareImage.h"
#include "HexEncoder.h"
#include "MemoryFileSystem.h"
#include "SampleFirmware.h"

#include <gtest/gtest.h>

namespace {

const QByteArray End = ":00000001FF";

// clang-format off
// Each line judged by the bytes its pairs give (the first character and a lone
// last one never looked at): one record each, the end-of-file record last. A
// refusal names its line and its rule.
TEST(FirmwareImage, check_acceptsOnlyFilesThatCanSucceed)
{
    const struct { const char *name; QByteArray content; const char *refusal; } rows[] = {
        {"endOnly_noLineEnd", End, ""},
        {"lowerCaseLfOnly", ":0400000001020304f2\n:00000001ff\n", ""},
        {"anyFirstCharacter_loneLastOnes", "Z0400000001020304F2x\r\n" + End + "\r", ""},
        {"typesAndAddressesLeftToTheMonitor", ":02FFF007AABBA3\r\n" + End, ""},
        {"empty", "", "no end-of-file record"},
        {"noEndRecord", ":0400000001020304F2\r\n", "no end-of-file record"},
        {"emptyLineAfterTheEnd", End + "\r\n\r\n", "line 2 follows the end-of-file record"},
        {"endRecordNotLast", End + "\r\n:0400000001020304F2\r\n", "line 2 follows the end-of-file record"},
        {"emptyLineInside", ":0400000001020304F2\r\n\r\n" + End, "line 2: too short for a record"},
        {"digitMissing", ":040000000102034F2\r\n" + End, "line 1: its count is not its number of data bytes"},
        {"checksumWrong", ":0400000001020304F3\r\n" + End, "line 1: its checksum does not match"},
        {"countBelowData", ":0300000001020304F3\r\n" + End, "line 1: its count is not its number of data bytes"},
        {"nonHexPair", ":04000000010G0304F2\r\n" + End, "line 1: a pair is not two hexadecimal digits"},
        {"endRecordWithBadChecksum", ":00000001FE", "line 1: its checksum does not match"},
    };
    // clang-format on
    for (const auto &row : rows) {
        QString refusal;
        const std::optional<FirmwareImage> image = FirmwareImage::check(row.content, refusal);
        EXPECT_EQ(refusal, row.refusal) << row.name;
        EXPECT_EQ(image.has_value(), refusal.isEmpty()) << row.name;
        EXPECT_TRUE(!image || image->bytes() == row.content) << row.name;
    }
}

// What the sample generator writes passes: empty images, 64 KiB crossings
// with their address records.
TEST(FirmwareImage, check_acceptsEverySampleFile)
{
    const std::pair<std::size_t, std::uint32_t> images[] = {
        {0, 0}, {4096, 0}, {70000, 0xFFF8}, {20, 0x2FFFF}};
    for (const auto &[size, base] : images) {
        QByteArray content;
        for (const std::string &line : encodeIntelHex(sampleImage(size, size + 1), base))
            content += QByteArray::fromStdString(line) + "\r\n";
        QString refusal;
        EXPECT_TRUE(FirmwareImage::check(content, refusal))
            << size << ": " << refusal.toStdString();
    }
}

// 64 MiB of records is the most that is read, once; a file reported larger is
// refused by its size, unread, however large it claims to be.
TEST(FirmwareImage, load_readsOnceUpTo64MiB_refusesLargerUnread)
{
    // 5,162,220 lines of 13 bytes and 4 of 14 (a lone last character) make 64 MiB.
    QByteArray content = QByteArray(":0000000000x\r\n").repeated(4);
    content += QByteArray(":0000000000\r\n").repeated(5162220 - 4 - 1) + End + "\r\n";
    ASSERT_EQ(content.size(), FirmwareImage::MaxFileBytes);
    MemoryFileSystem files;
    files.files["f.hex"] = content;
    const std::optional<FirmwareImage> image = FirmwareImage::load(files, "f.hex");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), FirmwareImage::MaxFileBytes);
    EXPECT_FALSE(FirmwareImage::check(content.append('\n')));
    for (const qint64 claimed : {FirmwareImage::MaxFileBytes + 1, qint64(1) << 40}) {
        files.sizes["f.hex"] = claimed;
        QString refusal;
        EXPECT_FALSE(FirmwareImage::load(files, "f.hex", refusal));
        EXPECT_EQ(refusal, "injected failure (error 7)");
        EXPECT_EQ(files.wholeReads, 1);
    }
}

} // namespace
