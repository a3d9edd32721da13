#include "PseudoTerminal.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

void check(bool ok, const char *what)
{
    if (!ok)
        throw std::runtime_error(std::string("PseudoTerminal: ") + what + ": " +
                                 std::strerror(errno));
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    check(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0, "openpty");
    m_slavePath = QString::fromLocal8Bit(name);
    termios raw{};
    check(::tcgetattr(m_slave, &raw) == 0, "tcgetattr");
    ::cfmakeraw(&raw);
    check(::tcsetattr(m_slave, TCSANOW, &raw) == 0, "tcsetattr");
    check(::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) == 0, "fcntl");
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
    ::close(m_slave);
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    check(m_master >= 0, "write after hang-up");
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (errno == EAGAIN) {
            pollfd out{m_master, POLLOUT, 0};
            ::poll(&out, 1, 100);
        } else {
            check(errno == EINTR, "write");
        }
    }
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray result;
    char buffer[4096];
    // Ends at EAGAIN (nothing more now) or EIO (no slave side open).
    for (ssize_t n = 0; m_master >= 0 && (n = ::read(m_master, buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            result.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    return result;
}

QByteArray PseudoTerminal::readFor(int count, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    QByteArray result = readAvailable();
    while (result.size() < count && m_master >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
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
    if (m_master >= 0)
        ::close(std::exchange(m_master, -1));
}

QString PseudoTerminal::linkAsComPort(const QString &programFolder, int commPort) const
{
    const QString link = QDir(programFolder).filePath(QStringLiteral("COM%1").arg(commPort));
    QFile::remove(link);
    if (!QFile::link(m_slavePath, link))
        throw std::runtime_error("PseudoTerminal: cannot link " + link.toStdString());
    return link;
}
