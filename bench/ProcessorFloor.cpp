#include "ProcessorFloor.h"

#include "LineFigures.h"
#include "PtyPair.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int LineBytes = 22; // SOH, then a 16-byte data record

double threadProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The instrument's end: every whole line is answered with ACK once the line
// would have finished arriving on the wire. Ends when the other end closes.
[[noreturn]] void answerLines(int master)
{
    std::uint8_t line[LineBytes];
    const std::uint8_t ack = 0x06;
    const timespec wire{0, static_cast<long>(wireTime(LineBytes).count())};
    while (readExactly(master, line, sizeof line)) {
        ::nanosleep(&wire, nullptr);
        if (::write(master, &ack, 1) != 1)
            break;
    }
    std::_Exit(0);
}

// The instrument's end answers in a child process; `programEnd` runs on the
// slave, opened with `flags`, and sends `lines` lines. Its set-up is timed
// with it: a few microseconds against the lines' milliseconds.
LineCost measure(int flags, int lines, const std::function<bool(int slave)> &programEnd)
{
    LineCost cost;
    const PtyPair pty = openRawPty(flags);
    if (!pty.problem.empty()) {
        cost.problem = pty.problem;
        return cost;
    }
    const int master = pty.master;
    const int slave = pty.slave;
    const pid_t instrument = ::fork();
    if (instrument == 0) {
        ::close(slave);
        answerLines(master);
    }
    ::close(master);
    if (instrument < 0) {
        cost.problem = std::string("fork: ") + std::strerror(errno);
        ::close(slave);
        return cost;
    }
    const double start = threadProcessorSeconds();
    if (programEnd(slave))
        cost.microsecondsPerLine = (threadProcessorSeconds() - start) / lines * 1e6;
    else
        cost.problem = "the instrument's end stopped answering";
    ::close(slave);
    ::kill(instrument, SIGTERM);
    ::waitpid(instrument, nullptr, 0);
    return cost;
}

} // namespace

LineCost bareLoopLineCost(int lines)
{
    return measure(0, lines, [lines](int slave) {
        const std::uint8_t line[LineBytes] = {0x01};
        std::uint8_t answer = 0;
        for (int i = 0; i < lines; ++i) {
            if (::write(slave, line, sizeof line) != LineBytes || !readExactly(slave, &answer, 1))
                return false;
        }
        return true;
    });
}

LineCost eventLoopLineCost(int lines)
{
    return measure(O_NONBLOCK, lines, [lines](int slave) {
        QSocketNotifier readable(slave, QSocketNotifier::Read);
        readable.setEnabled(false);
        bool answered = false;
        bool failed = false;
        QObject::connect(&readable, &QSocketNotifier::activated, [&] {
            std::uint8_t answer = 0;
            const ssize_t got = ::read(slave, &answer, 1);
            if (got == 1)
                answered = true;
            else if (got == 0 || (errno != EAGAIN && errno != EINTR))
                failed = true;
        });
        QTimer timeout;
        timeout.setTimerType(Qt::PreciseTimer);
        timeout.setSingleShot(true);
        timeout.setInterval(1000);
        const std::uint8_t line[LineBytes] = {0x01};
        for (int i = 0; i < lines; ++i) {
            QCoreApplication::processEvents();
            if (::write(slave, line, sizeof line) != LineBytes)
                return false;
            answered = false;
            readable.setEnabled(true);
            timeout.start();
            while (!answered && !failed && timeout.isActive())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            timeout.stop();
            readable.setEnabled(false);
            if (!answered)
                return false;
        }
        return true;
    });
}
