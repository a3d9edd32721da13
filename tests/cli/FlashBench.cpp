#include "FlashBench.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <stdexcept>

BenchInstrument::BenchInstrument(const ProgramFolder &folder, int commPort,
                                 const QStringList &options)
    : m_logPath(folder.scratchPath(QStringLiteral("sim%1.log").arg(commPort))),
      m_imagePath(folder.scratchPath(QStringLiteral("image%1.bin").arg(commPort)))
{
    const QString link = folder.filePath(QStringLiteral("COM%1").arg(commPort));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral(VELTRAX_SIM),
                    QStringList{"--link", link, "--log", m_logPath, "--image", m_imagePath,
                                "--erase-ms", "20", "--boot-delay-ms", "20", "--timeout", "120"} +
                        options);
    // Paced to the microsecond: the default 50 us timer slack would make it late.
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

int BenchInstrument::finish()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(150)) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }
    m_process.waitForFinished(10000);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
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
