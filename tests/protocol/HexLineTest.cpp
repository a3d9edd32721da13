// How a firmware line becomes bytes, and how a received byte is logged.
#include "HexLine.h"
#include "ByteText.h"
#include "FirmwareFile.h"
#include "MemoryFileSystem.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(HexLine, pairsFromTheSecondCharacter)
{
    const auto check = [](const QByteArray &line, const char *hex, qint64 endPosition) {
        const std::optional<HexLine> decoded = decodeHexLine(line);
        ASSERT_TRUE(decoded) << line.constData();
        EXPECT_EQ(decoded->bytes.toHex(), QByteArray(hex)) << line.constData();
        EXPECT_EQ(decoded->endPosition, endPosition) << line.constData();
    };
    check(":00000001FF", "00000001ff", 12);
    check("", "", 2);
    check("x", "", 2);
    check("xy", "", 2);
    check("Z0a1B", "0a1b", 6);
    check(":0A1", "0a", 4);
    check(":00G", "00", 4); // a lone last character is never sent, so never judged
    check("G00", "00", 4);  // nor is the first
}

TEST(HexLine, pairThatWouldBeSentMustBeHex)
{
    for (const char *line : {":0G", ":G0", ":  ", ":-1", ":00000001FF0x", ":0\xff"})
        EXPECT_FALSE(decodeHexLine(line)) << line;
}

TEST(HexLine, sendableFileNeedsALineAndHexPairsOnly)
{
    const auto sendable = [](const QByteArray &content) {
        MemoryFileSystem files;
        files.files["f"] = content;
        const bool result = isSendableFirmware(files, "f");
        EXPECT_EQ(files.openStreams, 0);
        return result;
    };
    EXPECT_TRUE(sendable(":00000001FF\r\n"));
    EXPECT_TRUE(
        sendable(":00000001FE\r\n:FF00\r\n")); // checksum and length are the monitor's to judge
    EXPECT_TRUE(sendable("\r\n"));
    EXPECT_FALSE(sendable(""));
    EXPECT_FALSE(sendable(":00\r\n:0x00\r\n"));
    EXPECT_FALSE(sendable(":00\r\n:00\r\nzz00"));
}

TEST(ByteText, upperCaseHexWithoutLeadingZero)
{
    const std::pair<std::uint8_t, const char *> cases[] = {
        {0x06, "6 "}, {0x80, "80 "}, {0x00, "0 "}, {0x0D, "D "}, {0x4F, "4F "}, {0xFF, "FF "}};
    for (const auto &[byte, entry] : cases)
        EXPECT_EQ(logEntry(byte), QString::fromLatin1(entry));
    EXPECT_EQ(byteHex(0xA5), "A5");
}

} // namespace
