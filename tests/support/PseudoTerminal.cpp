#include "PseudoTerminal.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static void check(bool ok, const QString &what)
{
    if (!ok)
        throw std::runtime_error("PseudoTerminal: " + what.toStdString() + ": " +
                                 std::strerror(errno));
}

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    termios raw{};
    check(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0, "openpty");
    m_slavePath = QString::fromLocal8Bit(name);
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    check(::tcsetattr(m_slave, TCSANOW, &raw) == 0, "tcsetattr");
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
    ::close(m_slave);
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    check(::write(m_master, bytes.data(), bytes.size()) == bytes.size(), "write");
}

QByteArray PseudoTerminal::readAvailable()
{
    int count = 0;
    if (m_master < 0 || ::ioctl(m_master, FIONREAD, &count) != 0 || count <= 0)
        return {};
    QByteArray bytes(count, '\0');
    bytes.resize(std::max<ssize_t>(::read(m_master, bytes.data(), count), 0));
    return bytes;
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0)
        ::close(std::exchange(m_master, -1));
}

QString PseudoTerminal::linkAsComPort(const QString &programFolder, int commPort) const
{
    const QString link = programFolder + QStringLiteral("/COM%1").arg(commPort);
    check(QFile::link(m_slavePath, link), "cannot link " + link);
    return link;
}
