#pragma once

#include <QByteArray>
#include <QString>

// A raw pseudo-terminal line: the program opens the slave side through a COMn
// link in its folder, the test plays the instrument on the master side. The
// pair keeps the slave open too, so bytes wait while the program's port is
// closed. Failures throw std::runtime_error.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    int masterFd() const { return m_master; } // -1 after hangUp()
    void write(const QByteArray &bytes);
    QByteArray readAvailable(); // what the program has sent, without waiting
    void hangUp();              // the program's port sees the line hung up
    // Makes programFolder/COM<commPort> a link to the slave; returns the link's path.
    QString linkAsComPort(const QString &programFolder, int commPort) const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
