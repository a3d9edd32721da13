#pragma once

// The program's window on a program folder with veltrax-sim on its COM1, for
// faults on the serial line: what the window shows, what the program wrote,
// and whether it still holds the line.
#include "SimulatedInstrument.h"
#include "UploaderWindow.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace linkfault {

inline const QString Question = QStringLiteral(
    "Update Veltrax?  This will also reset all parameters under the PROGRAM menu (E1) to "
    "factory defaults.");
inline const QString CommsError = QStringLiteral("Communitcations error.");
inline const QString Stopped = QStringLiteral("Stopped by user!");

// Runs `action` from the event loop, as an operator's click lands, once the
// status line has shown each of `statuses` in turn and then, unless `line`
// is 0, once that line of the firmware file has gone out.
inline void whenStage(UploaderWindow &window, QStringList statuses, int line,
                      std::function<void()> action)
{
    if (statuses.isEmpty())
        return line > 0 ? window.whenLineSent(line, action) : action();
    const QString first = statuses.takeFirst();
    window.whenStatus(
        first, [&window, statuses, line, action] { whenStage(window, statuses, line, action); });
}

// How far into a whole update the program's writes may go.
enum class Through { Boot, Prompt, Erase, Line, AllLines, ResetEsc, Reset, RebootEsc, Reboot };

// What the program writes for a whole update of `hexFile`, cut after the
// stage `through` (after line `line` for Through::Line).
inline QByteArray updateBytes(const QByteArray &hexFile, Through through, int line)
{
    const QByteArray reboot("\x1b\x01\x48\x01\x00\x49", 6), reset("\x1b\x01\x3b\x01\x00\x3c", 6);
    QByteArray bytes = reboot + "quandrel\r\n\x05\x05\x05";
    for (const QByteArray &text : hexFile.trimmed().split('\n')) {
        if (through == Through::Line && line-- == 0)
            break;
        bytes += '\x01' + QByteArray::fromHex(text.trimmed().mid(1));
    }
    const qsizetype lines = bytes.size();
    const qsizetype ends[] = {6, 16, 18, lines, lines, lines + 1, lines + 6, lines + 7, lines + 12};
    return (bytes + reset + reboot).left(ends[static_cast<int>(through)]);
}

// Descriptors of this process open on `device`, also once its
// pseudo-terminal is gone ("/dev/pts/3 (deleted)").
inline int descriptorsOn(const QString &device)
{
    int count = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : descriptors.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = fd.symLinkTarget();
        count += target == device || target.startsWith(device + QLatin1Char(' '));
    }
    return count;
}

class LinkFault : public ::testing::Test {
protected:
    // veltrax-sim answering at once, with the faults of `options`, and the
    // window as at program start, every status noted with its time.
    void start(const QStringList &options)
    {
        folder.generateFirmware(QStringLiteral("03152024"), "2K");
        hexFile = folder.readFile(QStringLiteral("veltrax_03152024.hex"));
        instrument =
            std::make_unique<SimulatedInstrument>(folder, QStringList{"--no-pacing"} + options);
        device = QFileInfo(folder.filePath(QStringLiteral("COM1"))).symLinkTarget();
        window = std::make_unique<UploaderWindow>(folder.path(), messages, [this] { ++ends; });
        QObject::connect(&window->form(), &Form1::statusChanged, [this](const QString &text) {
            statusTimes.append({clock.elapsed(), text});
        });
        clock.start();
        window->start();
    }
    // Milliseconds from the latest showing of `status` until now; -1 if never shown.
    qint64 msSinceLast(const QString &status) const
    {
        for (auto it = statusTimes.crbegin(); it != statusTimes.crend(); ++it) {
            if (it->second == status)
                return clock.elapsed() - it->first;
        }
        return -1;
    }
    // Twenty clicks on Stop within 100 ms, counting those that find the update running.
    void clickStopTwentyTimes()
    {
        for (int i = 0; i < 20; ++i) {
            QTimer::singleShot(i * 5, &window->form(), [this] {
                stopsWhileRunning += window->element<QPushButton>("btnStop")->isVisible();
                window->clickStop();
            });
        }
    }
    // Back to idle, and the port let go down to its descriptor.
    void expectIdle() const
    {
        window->expectIdle();
        EXPECT_EQ(descriptorsOn(device), 0) << "the program still holds " << device.toStdString();
        EXPECT_EQ(ends, 0);
    }
    // What every faulty run must show once Send File returns: its ending, the
    // window idle, no message but the question, nothing written beyond
    // `allowed`, and the instrument left with only what was written.
    void expectEnded(const QString &ending, const QByteArray &allowed)
    {
        EXPECT_EQ(window->status(), ending);
        EXPECT_EQ(messages.shown, QStringList{Question});
        expectIdle();
        QByteArray wrote;
        for (const RecordingByteDevice::Event &event : window->line()->events()) {
            if (event.direction == RecordingByteDevice::Direction::Sent)
                wrote.append(static_cast<char>(event.byte));
        }
        EXPECT_TRUE(allowed.startsWith(wrote)) << wrote.size() << " bytes written";
        instrument->finish();
        EXPECT_TRUE(wrote.startsWith(instrument->log().received()));
    }

    ProgramFolder folder;
    QByteArray hexFile;
    AnsweringMessageBox messages;
    QString device; // the pseudo-terminal behind COM1
    int ends = 0;
    int stopsWhileRunning = 0;
    QElapsedTimer clock;
    QList<std::pair<qint64, QString>> statusTimes;
    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<UploaderWindow> window;
};

} // namespace linkfault
