#include "PtyFloor.h"

#include "PtyPair.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The program's end: answers every whole line with one byte until the line closes.
[[noreturn]] void answerLines(int slave, int lineBytes)
{
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
    const std::uint8_t ack = 0x06;
    while (readExactly(slave, line.data(), line.size()) && ::write(slave, &ack, 1) == 1) {
    }
    std::_Exit(0);
}

std::string failure(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PtyRoundTrips measurePtyRoundTrips(int count, int lineBytes, std::chrono::microseconds gap)
{
    using Clock = std::chrono::steady_clock;
    PtyRoundTrips result;
    const PtyPair pty = openRawPty(0);
    if (!pty.problem.empty()) {
        result.problem = pty.problem;
        return result;
    }
    const int master = pty.master;
    const int slave = pty.slave;

    const pid_t child = ::fork();
    if (child < 0) {
        result.problem = failure("fork");
        ::close(slave);
        ::close(master);
        return result;
    }
    if (child == 0) {
        ::close(master);
        answerLines(slave, lineBytes);
    }
    ::close(slave);

    const std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes), 0x01);
    std::uint8_t answer = 0;
    const timespec pause{0, static_cast<long>(gap.count()) * 1000};
    for (int i = 0; i < count; ++i) {
        ::nanosleep(&pause, nullptr);
        const auto sent = Clock::now();
        if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
            !readExactly(master, &answer, 1)) {
            result.problem = failure("ping-pong");
            break;
        }
        result.samples.push_back(Clock::now() - sent);
    }
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}
