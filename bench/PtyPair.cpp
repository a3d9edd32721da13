#include "PtyPair.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PtyPair openRawPty(int slaveFlags)
{
    PtyPair pty;
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || ::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) {
        pty.problem = std::string("posix_openpt: ") + std::strerror(errno);
    } else {
        pty.slave = ::open(::ptsname(pty.master), O_RDWR | O_NOCTTY | O_CLOEXEC | slaveFlags);
        termios raw{};
        if (pty.slave < 0 || ::tcgetattr(pty.slave, &raw) != 0) {
            pty.problem = std::string("open the slave: ") + std::strerror(errno);
        } else {
            ::cfmakeraw(&raw);
            ::tcsetattr(pty.slave, TCSANOW, &raw);
            return pty;
        }
    }
    for (int *fd : {&pty.slave, &pty.master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    return pty;
}

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
