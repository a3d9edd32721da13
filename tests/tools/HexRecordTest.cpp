#include "HexRecord.h"
#include "FlashImage.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// count, address, type and data, with the checksum that makes them valid.
Bytes record(Bytes body)
{
    body.push_back(recordChecksum(body.data(), body.size()));
    return body;
}

TEST(HexRecord, checkRecordAndDecode_judgeEveryForm)
{
    const struct {
        const char *name;
        Bytes bytes;
        RecordFault fault;
    } rows[] = {
        // clang-format off
        {"data", record({0x03, 0x12, 0x34, 0x00, 0xAA, 0xBB, 0xCC}), RecordFault::None},
        {"end of file", {0x00, 0x00, 0x00, 0x01, 0xFF}, RecordFault::None},
        {"extended linear", record({0x02, 0x00, 0x00, 0x04, 0x00, 0x01}), RecordFault::None},
        {"extended segment", record({0x02, 0x00, 0x00, 0x02, 0x10, 0x00}), RecordFault::None},
        {"start linear", record({0x04, 0x00, 0x00, 0x05, 1, 2, 3, 4}), RecordFault::None},
        {"nothing after SOH", {}, RecordFault::Empty},
        {"checksum off by one", {0x00, 0x00, 0x00, 0x01, 0xFE}, RecordFault::BadChecksum},
        {"one data byte missing", {0x03, 0x00, 0x00, 0x00, 0xAA, 0xBB, 0x00}, RecordFault::TooShort},
        {"one byte too many", {0x00, 0x00, 0x00, 0x01, 0xFF, 0x00}, RecordFault::TooLong},
        {"unknown type", record({0x00, 0x00, 0x00, 0x06}), RecordFault::UnknownType},
        {"end of file with data", record({0x01, 0x00, 0x00, 0x01, 0x00}), RecordFault::WrongLength},
        {"short extended linear", record({0x01, 0x00, 0x00, 0x04, 0x01}), RecordFault::WrongLength},
        // clang-format on
    };
    for (const auto &row : rows) {
        const RecordCheck check = checkRecord(row.bytes);
        EXPECT_EQ(check.fault, row.fault) << row.name << ": " << check.detail;
        EXPECT_EQ(check.ok(), check.detail.empty()) << row.name;
    }
    const RecordCheck data = checkRecord(rows[0].bytes);
    EXPECT_EQ(data.record.offset, 0x1234);
    EXPECT_EQ(data.record.data, (Bytes{0xAA, 0xBB, 0xCC}));
    // A line of the file: ":" and pairs of either case; CR LF ignored.
    EXPECT_EQ(decodeHexLine(":0200000400fa\r\n"), (Bytes{0x02, 0x00, 0x00, 0x04, 0x00, 0xFA}));
    for (const char *line : {"00000001FF", ":00000001F", ":000000G1FF", ""})
        EXPECT_EQ(decodeHexLine(line), std::nullopt) << line;
}

TEST(FlashImage, apply_placesDataByAddressRecords)
{
    FlashImage image;
    const auto apply = [&](Bytes bytes) { return image.apply(checkRecord(record(bytes)).record); };
    using Load = FlashImage::Load;
    EXPECT_EQ(apply({0x02, 0x00, 0x00, 0x04, 0x00, 0x01}), Load::Stored);
    EXPECT_EQ(apply({0x02, 0xFF, 0xFE, 0x00, 0x11, 0x22}), Load::Stored);
    // Segment 0x2000 puts offset 2 at 0x20002, leaving a hole of erased flash.
    EXPECT_EQ(apply({0x02, 0x00, 0x00, 0x02, 0x20, 0x00}), Load::Stored);
    EXPECT_EQ(apply({0x01, 0x00, 0x02, 0x00, 0x33}), Load::Stored);
    EXPECT_EQ(apply({0x01, 0x00, 0x02, 0x00, 0x44}), Load::Overlap);
    EXPECT_EQ(apply({0x04, 0x00, 0x00, 0x05, 0, 0, 0, 0}), Load::Ignored);
    EXPECT_EQ(apply({0x00, 0x00, 0x00, 0x01}), Load::EndOfFile);
    EXPECT_EQ(image.lowest(), 0x1FFFEu);
    EXPECT_EQ(image.end(), 0x20003u);
    EXPECT_EQ(image.bytesWritten(), 3u);
    EXPECT_EQ(image.toBinary(), (Bytes{0x11, 0x22, 0xFF, 0xFF, 0x44}));
    image.clear();
    EXPECT_TRUE(image.toBinary().empty());
}

} // namespace
