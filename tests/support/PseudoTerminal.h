#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

// A pseudo-terminal pair for tests that go through the real serial port code
// without hardware: the program opens the slave side by its path (usually
// through a COMn link in a temporary program folder, see linkAsComPort); the
// test plays the instrument on the master side. The line is raw; the pair keeps
// its own slave descriptor open, so bytes are kept while the program has the
// port closed. Failures throw std::runtime_error.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // "/dev/pts/N": the name the program opens.
    QString slavePath() const { return m_slavePath; }
    // For a QSocketNotifier or poll() on the instrument's side; -1 after hangUp().
    int masterFd() const { return m_master; }

    // Sends bytes to the program; waits while the line's buffer is full.
    void write(const QByteArray &bytes);
    // What the program has sent so far, without waiting.
    QByteArray readAvailable();
    // Waits until `count` bytes have come or `limit` has passed; returns what came.
    QByteArray readFor(int count, std::chrono::milliseconds limit);
    // Closes the master side: the program's port sees the line hung up.
    void hangUp();
    // Makes programFolder/COM<commPort> a link to the slave; returns the link's path.
    QString linkAsComPort(const QString &programFolder, int commPort) const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
