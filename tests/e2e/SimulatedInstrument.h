#pragma once

#include "SimulatorLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <stdexcept>

namespace e2e {

inline void require(bool ok, const QString &what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

inline QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace e2e

// A program folder (hexcfg.dat, firmware files, the simulator's COM1 link) and
// a scratch folder beside it for what the checks read. Failures throw.
class ProgramFolder {
public:
    explicit ProgramFolder(const QByteArray &preferences = "COM=1\r\nDBG=1\r\n")
    {
        e2e::require(m_folder.isValid() && m_scratch.isValid(), "cannot make a temporary folder");
        writeFile(QStringLiteral("hexcfg.dat"), preferences);
    }

    QString path() const { return m_folder.path(); }
    QString filePath(const QString &name) const { return m_folder.filePath(name); }
    QString scratchPath(const QString &name) const { return m_scratch.filePath(name); }

    void writeFile(const QString &name, const QByteArray &contents) const
    {
        QFile file(filePath(name));
        e2e::require(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size(),
                     "cannot write " + file.fileName());
    }
    QByteArray readFile(const QString &name) const { return e2e::readWhole(filePath(name)); }
    // Writes veltrax_<MMDDYYYY>.hex of `size` ("8K") bytes; returns the image.
    QByteArray generateFirmware(const QString &date, const QString &size, int seed = 1) const
    {
        const QString binary = scratchPath(QStringLiteral("image-%1-%2.bin").arg(date).arg(seed));
        QProcess hexgen;
        hexgen.setProcessChannelMode(QProcess::MergedChannels);
        hexgen.start(VELTRAX_HEXGEN,
                     {"--date", date, "--size", size, "--seed", QString::number(seed), "--out-dir",
                      path(), "--binary", binary});
        e2e::require(hexgen.waitForFinished(10000) && hexgen.exitStatus() == QProcess::NormalExit &&
                         hexgen.exitCode() == 0,
                     "veltrax-hexgen failed: " + QString::fromLocal8Bit(hexgen.readAll()));
        return e2e::readWhole(binary);
    }

private:
    QTemporaryDir m_folder, m_scratch;
};

// veltrax-sim as a child process on the folder's COM1; later options win.
class SimulatedInstrument {
public:
    struct Verdict {
        int exitCode = -1; // -1: it did not end normally
    };

    SimulatedInstrument(const ProgramFolder &folder, const QStringList &options) : m_folder(folder)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(VELTRAX_SIM,
                        QStringList{"--link", folder.filePath("COM1"), "--log",
                                    folder.scratchPath("sim.log"), "--image",
                                    folder.scratchPath("image.bin"), "--erase-ms", "20",
                                    "--boot-delay-ms", "20", "--timeout", "300"} +
                            options);
        // The kernel's default timer slack would make the simulator answer late.
        QFile slack(QStringLiteral("/proc/%1/timerslack_ns").arg(m_process.processId()));
        if (m_process.processId() > 0 && slack.open(QIODevice::WriteOnly))
            slack.write("1");
        const QDeadlineTimer limit(10000);
        while (!m_output.contains("ready on") &&
               m_process.waitForReadyRead(static_cast<int>(limit.remainingTime())))
            m_output += QString::fromLocal8Bit(m_process.readAll());
        e2e::require(m_output.contains("ready on"), "veltrax-sim did not get ready: " + m_output);
    }
    ~SimulatedInstrument()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    SimulatedInstrument(const SimulatedInstrument &) = delete;
    SimulatedInstrument &operator=(const SimulatedInstrument &) = delete;

    // Ends the run (SIGTERM unless it ends within 150 ms) and collects its verdict.
    Verdict finish()
    {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(150))
            m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
        return {m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1};
    }
    SimulatorLog log() const
    {
        return SimulatorLog(e2e::readWhole(m_folder.scratchPath("sim.log")));
    }
    QByteArray image() const { return e2e::readWhole(m_folder.scratchPath("image.bin")); }

private:
    const ProgramFolder &m_folder;
    QProcess m_process;
    QString m_output;
};
