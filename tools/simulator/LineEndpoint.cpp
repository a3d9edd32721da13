#include "LineEndpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::runtime_error systemError(const std::string &what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// 19200 baud, 8N1, no echo, no line editing, no translation: bytes pass as they are.
void makeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        throw systemError("cannot read line settings");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        throw systemError("cannot set line settings");
}

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        throw systemError("cannot make the line non-blocking");
}

} // namespace

std::unique_ptr<LineEndpoint> LineEndpoint::openPty(const std::string &linkPath)
{
    std::unique_ptr<LineEndpoint> line(new LineEndpoint);
    char slaveName[256] = {};
    if (::openpty(&line->m_fd, &line->m_slaveFd, slaveName, nullptr, nullptr) != 0)
        throw systemError("cannot open a pseudo-terminal");
    makeRaw(line->m_slaveFd);
    setNonBlocking(line->m_fd);
    line->m_device = slaveName;
    line->m_name = linkPath;

    // Replace a link left by an earlier run, never a real file.
    struct stat existing {};
    if (::lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            throw std::runtime_error(linkPath + " exists and is not a link");
        ::unlink(linkPath.c_str());
    }
    if (::symlink(slaveName, linkPath.c_str()) != 0)
        throw systemError("cannot link " + linkPath);
    line->m_link = linkPath;
    return line;
}

std::unique_ptr<LineEndpoint> LineEndpoint::openPort(const std::string &devicePath)
{
    std::unique_ptr<LineEndpoint> line(new LineEndpoint);
    line->m_fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line->m_fd < 0)
        throw systemError("cannot open " + devicePath);
    makeRaw(line->m_fd);
    ::tcflush(line->m_fd, TCIOFLUSH);
    line->m_name = devicePath;
    line->m_device = devicePath;
    return line;
}

LineEndpoint::~LineEndpoint()
{
    release();
}

bool LineEndpoint::peerHasUnread() const
{
    if (m_fd < 0)
        return false;
    if (m_slaveFd < 0) {
        ::tcdrain(m_fd);
        return false;
    }
    int waiting = 0;
    return ::ioctl(m_slaveFd, FIONREAD, &waiting) == 0 && waiting > 0;
}

void LineEndpoint::hangUp()
{
    release();
}

void LineEndpoint::release()
{
    if (!m_link.empty())
        ::unlink(m_link.c_str());
    m_link.clear();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_fd >= 0)
        ::close(m_fd);
    m_slaveFd = -1;
    m_fd = -1;
}
