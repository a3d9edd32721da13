#include "PtyFloor.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

bool readExactly(int fd, std::uint8_t *buffer, std::size_t count)
{
    while (count > 0) {
        const ssize_t got = ::read(fd, buffer, count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

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
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        result.problem = failure("posix_openpt");
        return result;
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    termios raw{};
    if (slave < 0 || ::tcgetattr(slave, &raw) != 0) {
        result.problem = failure("open the slave");
        ::close(master);
        return result;
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

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
