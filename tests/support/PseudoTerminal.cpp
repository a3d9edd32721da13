#include "PseudoTerminal.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char *what)
{
    throw std::runtime_error(std::string("PseudoTerminal: ") + what + ": " + std::strerror(errno));
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        fail("openpty");
    m_slavePath = QString::fromLocal8Bit(name);

    termios raw{};
    if (::tcgetattr(m_slave, &raw) != 0)
        fail("tcgetattr");
    ::cfmakeraw(&raw);
    if (::tcsetattr(m_slave, TCSANOW, &raw) != 0)
        fail("tcsetattr");

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        fail("fcntl");
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
    if (m_slave >= 0)
        ::close(m_slave);
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    if (m_master < 0)
        throw std::runtime_error("PseudoTerminal: write after hang-up");
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{m_master, POLLOUT, 0};
            ::poll(&out, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            fail("write");
        }
    }
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            result.append(buffer, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // EAGAIN: nothing more now; EIO: no slave side open.
            return result;
        }
    }
}

QByteArray PseudoTerminal::readFor(int count, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + limit;
    QByteArray result = readAvailable();
    while (result.size() < count && m_master >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd in{m_master, POLLIN, 0};
        ::poll(&in, 1, static_cast<int>(left.count()));
        result.append(readAvailable());
    }
    return result;
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

QString PseudoTerminal::linkAsComPort(const QString &programFolder, int commPort) const
{
    const QString link = QDir(programFolder).filePath(QStringLiteral("COM%1").arg(commPort));
    QFile::remove(link);
    if (!QFile::link(m_slavePath, link))
        throw std::runtime_error("PseudoTerminal: cannot link " + link.toStdString());
    return link;
}
