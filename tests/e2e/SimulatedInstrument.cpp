#include "SimulatedInstrument.h"

#include <QDeadlineTimer>
#include <QFile>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error(what.toStdString());
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The simulator reads what the program wrote within a millisecond or two;
// give it this long before it is told to stop, so its log holds every byte.
constexpr int SettleMs = 150;
constexpr int StartLimitMs = 10000;

} // namespace

ProgramFolder::ProgramFolder() : ProgramFolder(QByteArrayLiteral("COM=1\r\nDBG=1\r\n")) {}

ProgramFolder::ProgramFolder(const QByteArray &preferences)
{
    if (!m_folder.isValid() || !m_scratch.isValid())
        fail(QStringLiteral("cannot make a temporary folder"));
    writeFile(QStringLiteral("hexcfg.dat"), preferences);
}

void ProgramFolder::writeFile(const QString &name, const QByteArray &contents) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(contents) != contents.size())
        fail(QStringLiteral("cannot write ") + file.fileName());
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
    generator.start(QStringLiteral(VELTRAX_HEXGEN),
                    {"--date", date, "--size", size, "--seed", QString::number(seed), "--out-dir",
                     path(), "--binary", binary});
    if (!generator.waitForFinished(StartLimitMs) ||
        generator.exitStatus() != QProcess::NormalExit || generator.exitCode() != 0)
        fail(QStringLiteral("veltrax-hexgen failed: ") +
             QString::fromLocal8Bit(generator.readAll()));
    return readWhole(binary);
}

SimulatedInstrument::SimulatedInstrument(const ProgramFolder &folder, const QStringList &options)
    : m_folder(folder)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(VELTRAX_SIM),
                    QStringList{"--link", folder.filePath(QStringLiteral("COM1")), "--log",
                                folder.scratchPath(QStringLiteral("sim.log")), "--image",
                                folder.scratchPath(QStringLiteral("image.bin")), "--erase-ms", "20",
                                "--boot-delay-ms", "20", "--timeout", "300"} +
                        options);
    // The simulator paces every byte by a timer; with the kernel's default
    // slack of 50 us on each wake-up it would answer later than its line
    // allows, and that would count against the program. Best effort.
    QFile slack(QStringLiteral("/proc/%1/timerslack_ns").arg(m_process.processId()));
    if (m_process.processId() > 0 && slack.open(QIODevice::WriteOnly))
        slack.write("1");

    const QDeadlineTimer limit(StartLimitMs);
    while (!m_output.contains(QLatin1String("ready on")) &&
           m_process.waitForReadyRead(static_cast<int>(limit.remainingTime())))
        m_output += QString::fromLocal8Bit(m_process.readAll());
    if (!m_output.contains(QLatin1String("ready on")))
        fail(QStringLiteral("veltrax-sim did not get ready: ") + m_output);
}

SimulatedInstrument::Verdict SimulatedInstrument::finish()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(SettleMs)) {
        m_process.terminate();
        if (!m_process.waitForFinished(StartLimitMs))
            m_process.kill();
    }
    m_process.waitForFinished(StartLimitMs);
    m_output += QString::fromLocal8Bit(m_process.readAll());
    const bool normal = m_process.exitStatus() == QProcess::NormalExit;
    return {normal ? m_process.exitCode() : -1, m_output};
}

SimulatorLog SimulatedInstrument::log() const
{
    return SimulatorLog(readWhole(m_folder.scratchPath(QStringLiteral("sim.log"))));
}

QByteArray SimulatedInstrument::image() const
{
    return readWhole(m_folder.scratchPath(QStringLiteral("image.bin")));
}
