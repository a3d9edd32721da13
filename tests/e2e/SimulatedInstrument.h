#pragma once

#include "SimulatorLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
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

// veltrax-sim as a child process on the folder's COM<n>, its log and image
// kept apart by port: 20 ms erase and start-up, gone after 300 s, unless
// `options` (later win) say otherwise.
class SimulatedInstrument {
public:
    SimulatedInstrument(const ProgramFolder &folder, const QStringList &options)
        : SimulatedInstrument(folder, 1, options)
    {
    }
    SimulatedInstrument(const ProgramFolder &folder, int commPort, const QStringList &options)
        : m_logPath(folder.scratchPath(QStringLiteral("sim%1.log").arg(commPort))),
          m_imagePath(folder.scratchPath(QStringLiteral("image%1.bin").arg(commPort)))
    {
        const QString link = folder.filePath(QStringLiteral("COM%1").arg(commPort));
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(VELTRAX_SIM, QStringList{"--link", link, "--log", m_logPath, "--image",
                                                 m_imagePath, "--erase-ms", "20", "--boot-delay-ms",
                                                 "20", "--timeout", "300"} +
                                         options);
        // The kernel's default timer slack would make the simulator answer late.
        QFile slack(QStringLiteral("/proc/%1/timerslack_ns").arg(m_process.processId()));
        if (m_process.processId() > 0 && slack.open(QIODevice::WriteOnly))
            slack.write("1");
        QString output;
        const QDeadlineTimer limit(10000);
        while (!output.contains("ready on") &&
               m_process.waitForReadyRead(static_cast<int>(limit.remainingTime())))
            output += QString::fromLocal8Bit(m_process.readAll());
        e2e::require(output.contains("ready on"), "veltrax-sim did not get ready: " + output);
        m_device = QFileInfo(link).symLinkTarget();
    }
    ~SimulatedInstrument()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    SimulatedInstrument(const SimulatedInstrument &) = delete;
    SimulatedInstrument &operator=(const SimulatedInstrument &) = delete;

    QString device() const { return m_device; } // the pseudo-terminal behind COM<n>
    // Ends the run (SIGTERM unless it ends within 150 ms); its exit status, -1
    // when it did not end normally.
    int finish()
    {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(150))
            m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    SimulatorLog log() const { return SimulatorLog(e2e::readWhole(m_logPath)); }
    QByteArray image() const { return e2e::readWhole(m_imagePath); }

private:
    QProcess m_process;
    QString m_device, m_logPath, m_imagePath;
};
