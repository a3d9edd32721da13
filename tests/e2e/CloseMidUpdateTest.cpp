// Closing the window in the middle of an update ends the program at once:
// run as its own process, since the end is the process's end.
#include "SimulatedInstrument.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(CloseMidUpdate, programEndsAtOnce_preferencesWritten_nothingMoreSent)
{
    // DBG=7 reads as Debug On and is written back as DBG=1: a rewrite shows.
    ProgramFolder folder(QByteArrayLiteral("COM=1\r\nDBG=7\r\n"));
    folder.generateFirmware(QStringLiteral("03152024"), "2K");
    SimulatedInstrument instrument(folder, {"--no-pacing"});

    QProcess program;
    // Line 4 has gone out and waits for its ACK when the window closes.
    program.start(QStringLiteral(VELTRAX_CLOSE_MID_UPDATE), {folder.path(), "4"});
    QByteArray output;
    const QRegularExpression closing(QStringLiteral("closing after (\\d+) bytes sent\n"));
    QRegularExpressionMatch match;
    while (!(match = closing.match(QString::fromLocal8Bit(output))).hasMatch() &&
           program.waitForReadyRead(20000))
        output += program.readAllStandardOutput();
    QElapsedTimer sinceClose;
    sinceClose.start();
    ASSERT_TRUE(match.hasMatch()) << output.toStdString()
                                  << program.readAllStandardError().toStdString();
    const long long sentBeforeClose = match.captured(1).toLongLong();

    ASSERT_TRUE(program.waitForFinished(1000)) << "still running a second after the close";
    EXPECT_LT(sinceClose.elapsed(), 1000);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    output += program.readAllStandardOutput();
    EXPECT_FALSE(output.contains("still running")) << output.toStdString();

    EXPECT_EQ(folder.readFile(QStringLiteral("hexcfg.dat")), QByteArray("COM=1\r\nDBG=1\r\n"));

    const SimulatedInstrument::Verdict verdict = instrument.finish();
    EXPECT_EQ(verdict.exitCode, 4) << verdict.output.toStdString();
    const SimulatorLog log = instrument.log();
    EXPECT_GT(sentBeforeClose, 0);
    EXPECT_EQ(log.received().size(), sentBeforeClose)
        << "bytes reached the instrument after the close";
    EXPECT_TRUE(verdict.output.contains(QLatin1String(" in 4 lines")))
        << verdict.output.toStdString();
}

} // namespace
