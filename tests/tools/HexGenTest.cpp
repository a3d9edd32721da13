#include "FlashImage.h"
#include "HexEncoder.h"
#include "HexRecord.h"
#include "SampleFirmware.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The generated text read back with the simulator's own parser, as the
// instrument would take it.
TEST(HexGen, encodedFile_rereadsAsTheImage)
{
    const struct {
        std::size_t size;
        std::uint32_t base;
        int addressRecords;
        std::size_t lines;
    } rows[] = {
        // clang-format off
        {0, 0, 0, 1},
        {1, 0, 0, 2},
        {17, 0, 0, 3},
        {65536, 0, 0, 4097},
        {70000, 0, 1, 4096 + 1 + 279 + 1},
        {40, 0xFFF8, 1, 1 + 1 + 2 + 1}, // split at 64 KiB: 8, then 16 and 16
        {100, 0x08000000, 1, 1 + 7 + 1},
        // clang-format on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::to_string(row.size) + " at " + std::to_string(row.base));
        const Bytes image = sampleImage(row.size, 7);
        const auto lines = encodeIntelHex(image, row.base);
        FlashImage back;
        int addressRecords = 0;
        for (const std::string &line : lines) {
            EXPECT_EQ(line.size() % 2, 1u) << line; // odd: the uploader sends every pair
            const RecordCheck check = checkRecord(decodeHexLine(line).value_or(Bytes{}));
            EXPECT_TRUE(check.ok()) << line << ": " << check.detail;
            EXPECT_LE(check.record.data.size(), 16u);
            addressRecords += check.record.type == RecordType::ExtendedLinearAddress;
            EXPECT_EQ(back.apply(check.record) == FlashImage::Load::EndOfFile,
                      &line == &lines.back())
                << line;
        }
        EXPECT_EQ(back.toBinary(), image);
        EXPECT_EQ(back.lowest(), row.size ? row.base : 0);
        EXPECT_EQ(addressRecords, row.addressRecords);
        EXPECT_EQ(lines.size(), row.lines);
    }
}

TEST(HexGen, firmwareFileName_takesOnlyDates)
{
    EXPECT_EQ(firmwareFileName("12311999"), "veltrax_12311999.hex");
    for (const char *date : {"13152024", "03002024", "0315202", "0315202a"})
        EXPECT_EQ(firmwareFileName(date), std::nullopt) << date;
}

} // namespace
