#include "FlashBench.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <csignal>
#include <stdexcept>

namespace {

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

BenchInstrument::BenchInstrument(const ProgramFolder &folder, int commPort,
                                 const QStringList &options)
    : m_folder(folder), m_commPort(commPort)
{
    const QString link = folder.filePath(QStringLiteral("COM%1").arg(commPort));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(VELTRAX_SIM),
                    QStringList{"--link", link, "--log",
                                folder.scratchPath(QStringLiteral("sim%1.log").arg(commPort)),
                                "--image",
                                folder.scratchPath(QStringLiteral("image%1.bin").arg(commPort)),
                                "--erase-ms", "20", "--boot-delay-ms", "20", "--timeout", "120"} +
                        options);
    // Paced to the microsecond: with the kernel's default slack of 50 us on
    // each wake-up it would answer later than its line allows. Best effort.
    QFile slack(QStringLiteral("/proc/%1/timerslack_ns").arg(m_process.processId()));
    if (m_process.processId() > 0 && slack.open(QIODevice::WriteOnly))
        slack.write("1");
    QString output;
    const QDeadlineTimer limit(10000);
    while (!output.contains(QLatin1String("ready on")) &&
           m_process.waitForReadyRead(static_cast<int>(limit.remainingTime())))
        output += QString::fromLocal8Bit(m_process.readAll());
    if (!output.contains(QLatin1String("ready on")))
        throw std::runtime_error("veltrax-sim did not get ready: " + output.toStdString());
    m_device = QFileInfo(link).symLinkTarget();
}

BenchInstrument::~BenchInstrument()
{
    m_process.kill();
    m_process.waitForFinished();
}

int BenchInstrument::finish()
{
    // Its log holds every byte once it has read what was written.
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(150)) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }
    m_process.waitForFinished(10000);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

SimulatorLog BenchInstrument::log() const
{
    return SimulatorLog(
        readWhole(m_folder.scratchPath(QStringLiteral("sim%1.log").arg(m_commPort))));
}

QByteArray BenchInstrument::image() const
{
    return readWhole(m_folder.scratchPath(QStringLiteral("image%1.bin").arg(m_commPort)));
}

FlashRunner::FlashRunner(const ProgramFolder &folder, const QStringList &arguments)
{
    m_process.setWorkingDirectory(folder.path());
    m_process.start(QStringLiteral(VELTRAX_FLASH), arguments);
    m_process.waitForStarted();
}

FlashRunner::~FlashRunner()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void FlashRunner::drain()
{
    m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
    m_output += m_process.readAllStandardOutput();
}

bool FlashRunner::waitForErrors(const std::function<bool(const QString &)> &ready, int limitMs)
{
    const QDeadlineTimer limit(limitMs);
    for (drain(); !ready(m_errors); drain()) {
        if (limit.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(50);
    }
    return true;
}

void FlashRunner::interrupt()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGINT);
}

int FlashRunner::finish(int limitMs)
{
    const bool ended = m_process.waitForFinished(limitMs);
    if (!ended) {
        m_process.kill();
        m_process.waitForFinished();
    }
    drain();
    if (!ended || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

std::map<QString, QJsonObject> FlashRunner::json(QString *problem) const
{
    std::map<QString, QJsonObject> lines;
    for (const QByteArray &line : m_output.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject()) {
            *problem += QStringLiteral("not a JSON object: ") + QString::fromUtf8(line) + '\n';
            continue;
        }
        const QString port = document.object().value(QStringLiteral("port")).toString();
        if (lines.count(port))
            *problem += QStringLiteral("two lines for ") + port + '\n';
        lines[port] = document.object();
    }
    return lines;
}

std::map<QString, QString> transcriptsByPort(const QString &folder)
{
    static const QRegularExpression portLine(QStringLiteral("^port: +(.*)$"),
                                             QRegularExpression::MultilineOption);
    std::map<QString, QString> transcripts;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        const QString text = QString::fromUtf8(readWhole(dir.filePath(name)));
        transcripts[portLine.match(text).captured(1)] = text;
    }
    return transcripts;
}
