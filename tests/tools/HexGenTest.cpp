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
    struct Case {
        std::size_t size;
        std::uint32_t base;
        int addressRecords;
        std::size_t lines;
    };
    const Case cases[] = {
        {0, 0, 0, 1},
        {1, 0, 0, 2},
        {17, 0, 0, 3},
        {65536, 0, 0, 4097},
        {70000, 0, 1, 4096 + 1 + 279 + 1},
        {40, 0xFFF8, 1, 1 + 1 + 2 + 1}, // split at 64 KiB: 8, then 16 and 16
        {100, 0x08000000, 1, 1 + 7 + 1},
    };
    for (const Case &c : cases) {
        const auto image = sampleImage(c.size, 7);
        const auto lines = encodeIntelHex(image, c.base);
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
        const std::string name = std::to_string(c.size) + " at " + std::to_string(c.base);
        EXPECT_EQ(back.toBinary(), image) << name;
        EXPECT_EQ(back.lowest(), c.size ? c.base : 0) << name;
        EXPECT_EQ(addressRecords, c.addressRecords) << name;
        EXPECT_EQ(lines.size(), c.lines) << name;
    }
}

TEST(HexGen, sampleImage_dependsOnlyOnTheSeed)
{
    EXPECT_EQ(sampleImage(1000, 42), sampleImage(1000, 42));
    EXPECT_NE(sampleImage(1000, 42), sampleImage(1000, 43));
    // A longer image starts like a shorter one: sizes do not reshuffle content.
    const auto longer = sampleImage(1003, 42);
    EXPECT_EQ(std::vector<std::uint8_t>(longer.begin(), longer.begin() + 1000),
              sampleImage(1000, 42));
}

TEST(HexGen, firmwareFileName_takesOnlyDates)
{
    const std::pair<const char *, std::optional<std::string>> cases[] = {
        {"12311999", "veltrax_12311999.hex"}, {"13152024", std::nullopt},
        {"03002024", std::nullopt},           {"0315202", std::nullopt},
        {"0315202a", std::nullopt},
    };
    for (const auto &[date, name] : cases)
        EXPECT_EQ(firmwareFileName(date), name) << date;
}

} // namespace
