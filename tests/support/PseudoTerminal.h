#pragma once

#include <QString>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A real serial device node without hardware: the slave end of a fresh
// pseudo-terminal (/dev/pts/N), served by the kernel's tty driver. The
// master end is held until the object goes, so the node stays.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Empty when no pseudo-terminal could be had.
    QString slave() const { return m_slave; }

private:
    int m_master = -1;
    QString m_slave;
};
