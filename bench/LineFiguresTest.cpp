// The benchmark's arithmetic: where the line stage begins and ends in a
// recording, what counts as a turnaround, and the percentiles.
#include "LineFigures.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Direction = RecordingByteDevice::Direction;

// A recording built step by step on a clock that starts at 0.
class Recording {
public:
    Recording &sent(std::initializer_list<int> bytes, Nanoseconds after = 0ns)
    {
        return add(Direction::Sent, bytes, after);
    }
    Recording &received(std::initializer_list<int> bytes, Nanoseconds after = 0ns)
    {
        return add(Direction::Received, bytes, after);
    }
    std::vector<RecordingByteDevice::Event> events;

private:
    Recording &add(Direction direction, std::initializer_list<int> bytes, Nanoseconds after)
    {
        m_now += after;
        for (int byte : bytes)
            events.push_back({m_now, direction, static_cast<std::uint8_t>(byte)});
        return *this;
    }
    std::chrono::steady_clock::time_point m_now{};
};

// ESC and the reboot request (SOH inside), the access word, two ENQs, the
// flash-ready byte and the third ENQ.
Recording monitorEntered()
{
    Recording r;
    r.sent({0x1B}).received({0x06}, 1ms).sent({0x01, 0x48, 0x01, 0x00, 0x49}, 1ms);
    r.received({'b', 'o', 'o', 't'}, 5ms).sent({'q', 0x0D, 0x0A}, 1ms);
    r.received({'M', 'O', 'N', ':', ' '}, 1ms).sent({0x05}, 100ms).sent({0x05}, 100ms);
    r.received({0x80}, 300ms).sent({0x05}, 100ms);
    return r;
}

TEST(LineStage, fromFirstSohToLastAck_countsBothDirections)
{
    Recording r = monitorEntered();
    // Record bytes may be SOH or ENQ themselves; only the position counts.
    r.sent({0x01, 0x05, 0x01}, 7ms).received({0x06}, 2ms);
    r.sent({0x01, 0x10, 0x20}, 30us).received({0x06}, 2ms);
    r.sent({0x01, 0x00, 0x01}, 50us).received({0x06}, 2ms);
    r.received({'C', 'O', 'D', 'E'}, 100ms).sent({0x1B}, 5s).received({0x06}, 1ms);

    const LineStage stage = findLineStage(r.events);
    ASSERT_TRUE(stage.found);
    EXPECT_EQ(stage.lines, 3);
    EXPECT_EQ(stage.bytesSent, 9);
    EXPECT_EQ(stage.bytesReceived, 3);
    EXPECT_EQ(stage.duration, 2ms + 30us + 2ms + 50us + 2ms);
    EXPECT_EQ(stage.turnarounds, (std::vector<Nanoseconds>{30us, 50us}));
}

TEST(LineStage, endsAtAnAnswerOtherThanAck)
{
    Recording r = monitorEntered();
    r.sent({0x01, 0xAA}, 1ms).received({0x06}, 1ms).sent({0x01, 0xBB}, 40us).received({0x15}, 1ms);
    const LineStage stage = findLineStage(r.events);
    ASSERT_TRUE(stage.found);
    EXPECT_EQ(stage.lines, 1);
    EXPECT_EQ(stage.duration, 1ms);
    // The refused line's SOH still followed the first line's ACK.
    EXPECT_EQ(stage.turnarounds, std::vector<Nanoseconds>{40us});
}

TEST(LineStage, notFoundBeforeTheFlashIsReady)
{
    Recording r;
    r.sent({0x1B}).received({0x06}, 1ms).sent({0x01, 0x48, 0x01, 0x00, 0x49}, 1ms);
    r.sent({0x05}, 100ms).sent({0x05}, 100ms).received({0x06}, 1s);
    EXPECT_FALSE(findLineStage(r.events).found);
    EXPECT_FALSE(findLineStage({}).found);
}

TEST(LineStage, turnaroundsOnTheLine_fromEachAckToTheNextByteRead)
{
    const SimulatorLog log(
        QByteArrayLiteral("     1.000000 RX 05\n"
                          "     1.000010 -- ENQ after the erase: ready for records\n"
                          "     1.000100 RX 01\n"
                          "     1.000100 RX 10\n"
                          "     1.000900 TX 06\n"
                          "     1.001150 RX 01\n"
                          "     1.001150 RX 00\n"
                          "     1.002000 TX 06\n"
                          "     1.002070 RX 01\n"
                          "     1.002100 -- line 3: end of file, verifying\n"
                          "     1.002600 TX 06\n"
                          "     1.100000 TX 43 'C'\n"));
    EXPECT_EQ(turnaroundsOnTheLine(log), (std::vector<Nanoseconds>{250us, 70us}));
    EXPECT_TRUE(
        turnaroundsOnTheLine(SimulatorLog("     1.000000 TX 06\n     1.1 RX 01\n")).empty());
}

TEST(LineStage, instrumentLateness_againstTheLinesPacedWireTime)
{
    // Line 1: 3 bytes read from 2.000000, ACK due at 2.000000 + 4 x 521 us.
    const SimulatorLog log(
        QByteArrayLiteral("     1.000000 -- ENQ after the erase: ready for records\n"
                          "     1.000100 TX 06\n" // still from the erase
                          "     2.000000 RX 01\n"
                          "     2.000020 RX 00\n"
                          "     2.000020 RX FF\n"
                          "     2.002134 TX 06\n"
                          "     2.002300 RX 01\n"
                          "     2.003342 TX 06\n"
                          "     3.000000 TX 43 'C'\n"));
    EXPECT_EQ(instrumentLatenessOnTheLine(log), (std::vector<Nanoseconds>{50us, 0us}));
}

TEST(LineFigures, wireTimeAndPercentiles)
{
    EXPECT_EQ(wireTime(1920), 1s);
    EXPECT_EQ(wireTime(23), Nanoseconds(11979166));

    std::vector<Nanoseconds> samples;
    for (int i = 100; i >= 1; --i)
        samples.push_back(Nanoseconds(i));
    const Spread spread = spreadOf(samples);
    EXPECT_EQ(spread.count, 100);
    EXPECT_EQ(spread.median, 50ns);
    EXPECT_EQ(spread.mean, 50ns); // 50.5, in whole nanoseconds
    EXPECT_EQ(spread.p99, 99ns);
    EXPECT_EQ(spread.max, 100ns);
    EXPECT_EQ(spreadOf({7ns}).p99, 7ns);
    EXPECT_EQ(spreadOf({}).count, 0);
}

// From the instrument's log: the stage runs from the first byte read after the
// ENQ that answered the flash-ready byte (logged when read, so possibly before
// the paced monitor's note, and records may hold ENQ bytes themselves) to the
// end-of-file record's ACK; an erase ACK before it and the verdict after it are
// not part of it.
TEST(LineStage, onTheLine_fromFirstRecordByteToEndOfFileAck)
{
    const SimulatorLog log(
        QByteArrayLiteral("     0.900000 RX 05\n"
                          "     0.900100 TX 06\n"
                          "     0.950000 TX 80\n"
                          "     1.000000 RX 05\n"
                          "     1.010000 RX 01\n"
                          "     1.010000 RX 05\n"
                          "     1.010000 RX 01\n"
                          "     1.010300 -- ENQ after the erase: ready for records\n"
                          "     1.011600 TX 06\n"
                          "     1.012000 RX 01\n"
                          "     1.012000 RX FF\n"
                          "     1.012600 -- line 2: end of file, verifying\n"
                          "     1.013200 TX 06\n"
                          "     1.113200 TX 43 'C'\n"));
    const LineStage stage = lineStageOnTheLine(log);
    ASSERT_TRUE(stage.found);
    EXPECT_EQ(stage.lines, 2);
    EXPECT_EQ(stage.bytesSent, 5);
    EXPECT_EQ(stage.bytesReceived, 2);
    EXPECT_EQ(stage.duration, 3200us);
    // Cut before the end-of-file record is acknowledged: not a whole stage.
    EXPECT_FALSE(lineStageOnTheLine(
                     SimulatorLog(QByteArrayLiteral("     0.900000 TX 80\n     1.000000 RX 05\n"
                                                    "     1.000000 -- ready for records\n"
                                                    "     1.010000 RX 01\n     1.011600 TX 06\n")))
                     .found);
}

} // namespace
