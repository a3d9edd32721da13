#include "UpdaterFixture.h"

#include "HexLine.h"

#include <QList>

void Rig::script(const MonitorScript &s)
{
    line.answer(Esc, s.escAnswer, s.escAfter).answer(RebootRequest, s.boot);
    line.answer("quandrel\r\n", s.prompt, s.promptAfter);
    line.answer("\x05\x05", s.flash);

    const QByteArray content = files.files.value(window.path);
    QList<QByteArray> records = content.split('\n');
    if (content.endsWith('\n'))
        records.removeLast();
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QByteArray record = records[i].endsWith('\r') ? records[i].chopped(1) : records[i];
        const std::optional<HexLine> hex = decodeHexLine(record);
        if (!hex)
            break;
        const auto index = static_cast<std::size_t>(i);
        Arrivals arrivals{{s.lineAfter, index < s.lineAnswers.size() ? s.lineAnswers[index] : Ack}};
        if (i == records.size() - 1)
            arrivals.push_back({s.lineAfter + s.verdictAfter, s.verdict});
        line.answer(QByteArray("\x01") + hex->bytes, arrivals);
    }

    line.answer(Esc, s.resetEscAnswer, s.resetEscAfter)
        .answer(ResetRequest, s.resetAnswer, s.resetAfter);
    line.answer(Esc, s.rebootEscAnswer, s.rebootEscAfter).answer(RebootRequest, s.reboot);
}

ms Rig::sentTime(std::uint8_t byte, int n) const
{
    for (const ScriptedInstrument::Sent &s : line.sent)
        if (s.byte == byte && --n == 0)
            return s.at;
    ADD_FAILURE() << "byte " << int(byte) << " not sent often enough";
    return ms{-1};
}

void Rig::expectWindowBack() const
{
    EXPECT_EQ(window.holds.count(QStringLiteral("Disable")), 1);
    EXPECT_EQ(window.holds.count(QStringLiteral("Restore")), 1);
    EXPECT_EQ(window.holds.mid(window.holds.size() - 3),
              QStringList({"Send", "ApplyDebugView", "Restore"}));
    EXPECT_FALSE(line.open);
    EXPECT_EQ(files.openStreams, 0);
}

QByteArray stageBytes(Stage stage)
{
    const QByteArray stages[] = {
        "",
        Esc,
        RebootRequest,
        "quandrel\r\n",
        "\x05\x05",
        "\x05",
        QByteArray::fromHex("01 04 00 00 00 01 02 03 04 F2"),
        QByteArray::fromHex("01 02 00 10 00 0A 0B D9"),
        QByteArray::fromHex("01 00 00 00 01 FF"),
        Esc,
        ResetRequest,
        Esc,
        RebootRequest,
    };
    return stages[stage];
}

QByteArray transcriptUpTo(Stage last)
{
    QByteArray wire;
    for (int stage = Nothing; stage <= last; ++stage)
        wire += stageBytes(static_cast<Stage>(stage));
    return wire;
}
