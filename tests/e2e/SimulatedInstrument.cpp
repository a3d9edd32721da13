#include "SimulatedInstrument.h"

#include <QDeadlineTimer>
#include <QFile>
#include <stdexcept>

namespace {

void require(bool ok, const QString &what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr int SettleMs = 150; // for the simulator to log the last bytes before it stops
constexpr int StartLimitMs = 10000;

} // namespace

ProgramFolder::ProgramFolder(const QByteArray &preferences)
{
    require(m_folder.isValid() && m_scratch.isValid(), "cannot make a temporary folder");
    writeFile(QStringLiteral("hexcfg.dat"), preferences);
}

void ProgramFolder::writeFile(const QString &name, const QByteArray &contents) const
{
    QFile file(filePath(name));
    require(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size(),
            "cannot write " + file.fileName());
}

QByteArray ProgramFolder::readFile(const QString &name) const
{
    return readWhole(filePath(name));
}

QByteArray ProgramFolder::generateFirmware(const QString &date, const QString &size, int seed) const
{
    const QString binary = scratchPath(QStringLiteral("image-%1-%2.bin").arg(date).arg(seed));
    QProcess generator;
    generator.setProcessChannelMode(QProcess::MergedChannels);
    generator.start(VELTRAX_HEXGEN,
                    {"--date", date, "--size", size, "--seed", QString::number(seed), "--out-dir",
                     path(), "--binary", binary});
    require(generator.waitForFinished(StartLimitMs) &&
                generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0,
            "veltrax-hexgen failed: " + QString::fromLocal8Bit(generator.readAll()));
    return readWhole(binary);
}

SimulatedInstrument::SimulatedInstrument(const ProgramFolder &folder, const QStringList &options)
    : m_folder(folder)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(VELTRAX_SIM, QStringList{"--link", folder.filePath("COM1"), "--log",
                                             folder.scratchPath("sim.log"), "--image",
                                             folder.scratchPath("image.bin"), "--erase-ms", "20",
                                             "--boot-delay-ms", "20", "--timeout", "300"} +
                                     options);
    // The kernel's default timer slack would make the simulator answer late.
    QFile slack(QStringLiteral("/proc/%1/timerslack_ns").arg(m_process.processId()));
    if (m_process.processId() > 0 && slack.open(QIODevice::WriteOnly))
        slack.write("1");
    const QDeadlineTimer limit(StartLimitMs);
    while (!m_output.contains("ready on") &&
           m_process.waitForReadyRead(static_cast<int>(limit.remainingTime())))
        m_output += QString::fromLocal8Bit(m_process.readAll());
    require(m_output.contains("ready on"), "veltrax-sim did not get ready: " + m_output);
}

SimulatedInstrument::Verdict SimulatedInstrument::finish()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(SettleMs))
        m_process.terminate();
    if (!m_process.waitForFinished(StartLimitMs))
        m_process.kill();
    m_process.waitForFinished(StartLimitMs);
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return {m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1, m_output};
}

SimulatorLog SimulatedInstrument::log() const
{
    return SimulatorLog(readWhole(m_folder.scratchPath("sim.log")));
}

QByteArray SimulatedInstrument::image() const
{
    return readWhole(m_folder.scratchPath("image.bin"));
}
