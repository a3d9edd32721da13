// The check before the erase: which files can never bring an update to its end.
#include "FirmwareImage.h"
#include "MemoryFileSystem.h"

#include <gtest/gtest.h>

namespace {

const QByteArray End = ":00000001FF";

// clang-format off
TEST(FirmwareImage, check_acceptsOnlyFilesThatCanSucceed)
{
    const struct { const char *name; QByteArray content; const char *refusal; } rows[] = {
        {"endOnly_noLineEnd", End, ""},
        {"anyFirstChar_loneLastOnes_lowerLf", "Z0400000001020304f2x\n" + End + "\r", ""},
        {"typesAndAddressesLeftToTheMonitor", ":02FFF007AABBA3\r\n" + End, ""},
        {"noEndRecord", ":0400000001020304F2\r\n", "no end-of-file record"},
        {"emptyLineAfterTheEnd", End + "\r\n\r\n", "line 2 follows the end-of-file record"},
        {"emptyLineInside", ":0400000001020304F2\r\n\r\n" + End, "line 2: too short for a record"},
        {"countBelowData", ":0300000001020304F3\r\n" + End, "line 1: its count is not its number of data bytes"},
        {"checksumWrong", ":0400000001020304F3\r\n" + End, "line 1: its checksum does not match"},
        {"nonHexPair", ":04000000010G0304F2\r\n" + End, "line 1: a pair is not two hexadecimal digits"},
        {"addressRecordsOfTheirLengths", ":020000021000EC\r\n:0400000300001234B3\r\n:020000040800F2\r\n:0400000508000100EE\r\n" + End, ""},
        {"linearAddressOfThreeBytes", ":03000004000102F6\r\n" + End, "line 1: a type 04 record must hold 2 data bytes, not 3"},
        {"linearStartOfTwoBytes", ":020000050000F9\r\n" + End, "line 1: a type 05 record must hold 4 data bytes, not 2"},
        {"segmentAddressOfOneByte", ":0100000210ED\r\n" + End, "line 1: a type 02 record must hold 2 data bytes, not 1"},
        {"segmentStartOfFiveBytes", ":050000030000123400B2\r\n" + End, "line 1: a type 03 record must hold 4 data bytes, not 5"},
        {"endRecordWithData", ":0100000155A9\r\n", "line 1: a type 01 record must hold 0 data bytes, not 1"},
    };
    // clang-format on
    for (const auto &row : rows) {
        QString refusal;
        const std::optional<FirmwareImage> image = FirmwareImage::check(row.content, refusal);
        EXPECT_EQ(refusal, row.refusal) << row.name;
        ASSERT_EQ(image.has_value(), *row.refusal == '\0') << row.name;
        if (image) {
            EXPECT_EQ(image->bytes(), row.content) << row.name;
        }
    }
}

// The file service is asked for at most 64 MiB (the disk judges that by the
// size, before reading); its refusal, with its code, is the file's.
TEST(FirmwareImage, load_boundedAt64MiB)
{
    MemoryFileSystem files;
    files.files["f.hex"] = End;
    files.sizes["f.hex"] = FirmwareImage::MaxFileBytes + 1;
    QString refusal;
    EXPECT_FALSE(FirmwareImage::load(files, "f.hex", refusal));
    EXPECT_EQ(refusal, "injected failure (error 7)");
    files.sizes["f.hex"] = FirmwareImage::MaxFileBytes;
    EXPECT_TRUE(FirmwareImage::load(files, "f.hex", refusal));
}

} // namespace
