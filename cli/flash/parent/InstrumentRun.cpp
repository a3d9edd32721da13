#include "InstrumentRun.h"

#include "Transcript.h"
#include "UpdateChild.h"

#include <QDateTime>
#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Fed to the child in pieces, so the parent holds one copy of the firmware
// however many instruments it updates.
constexpr qint64 FeedChunk = 256 * 1024;

QString clock(qint64 at)
{
    return QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

InstrumentRun::InstrumentRun(PlannedPort port, const CheckedFirmware &firmware,
                             std::chrono::seconds timeout, std::unique_ptr<Transcript> transcript,
                             QObject *parent)
    : QObject(parent), m_port(std::move(port)), m_firmware(firmware), m_timeout(timeout),
      m_transcript(std::move(transcript))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &InstrumentRun::onDeadline);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &InstrumentRun::readEvents);
    connect(&m_process, &QProcess::readyReadStandardError, this, &InstrumentRun::readErrors);
    connect(&m_process, &QProcess::bytesWritten, this, &InstrumentRun::feedFirmware);
    connect(&m_process, &QProcess::finished, this, &InstrumentRun::onProcessFinished);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(QStringLiteral("the update process could not be started: ") +
                   m_process.errorString());
    });
}

InstrumentRun::~InstrumentRun()
{
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void InstrumentRun::start(const QString &program)
{
    ChildSettings settings{m_port.name,     m_port.commPort,   m_port.device,
                           m_firmware.path, m_firmware.sha256, m_timeout,
                           m_transcript ? m_transcript->path() : QString()};
    m_process.setProgram(program);
    m_process.setArguments(childArguments(settings));
    const pid_t parent = ::getpid();
    m_process.setChildProcessModifier([parent] {
        // Out of the terminal's process group: Ctrl-C reaches the parent
        // alone, which passes it on exactly once, and a hang-up of the
        // terminal never reaches the child. A parent that dies is told by a
        // signal of its own (UpdateChild.cpp decides what it ends). One that
        // died before the signal was asked for is gone already: nothing has
        // been sent, so the child does not begin.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, ParentGoneSignal);
        if (::getppid() != parent)
            ::_exit(ChildCannotRun);
    });
    if (m_transcript) {
        m_transcript->writeHeader({m_port.name, m_port.device, m_firmware.name, m_firmware.path,
                                   m_firmware.sha256, m_firmware.bytes.size(),
                                   static_cast<int>(m_timeout.count()),
                                   QStringLiteral("Yes, once for all ports")});
    }
    m_clock.start();
    m_deadline.start(m_timeout + KillGrace);
    m_process.start();
    feedFirmware();
}

void InstrumentRun::noteHangUp()
{
    if (m_transcript && !m_finished)
        m_transcript->writeNote(QStringLiteral("hang-up"),
                                QStringLiteral("terminal hung up; the update went on"));
}

void InstrumentRun::feedFirmware()
{
    const QByteArray &bytes = m_firmware.bytes;
    if (m_process.state() == QProcess::NotRunning || m_fed < 0)
        return;
    while (m_fed < bytes.size() && m_process.bytesToWrite() < FeedChunk) {
        const qint64 size = std::min(FeedChunk, bytes.size() - m_fed);
        m_process.write(bytes.constData() + m_fed, size);
        m_fed += size;
    }
    if (m_fed == bytes.size()) {
        m_process.closeWriteChannel(); // once the rest has gone
        m_fed = -1;
    }
}

void InstrumentRun::pressStop(int signal)
{
    if (m_finished || m_process.processId() <= 0)
        return;
    ::kill(static_cast<pid_t>(m_process.processId()), signal);
}

void InstrumentRun::killNow()
{
    if (m_finished)
        return;
    m_endedByUser = true;
    m_process.kill();
}

void InstrumentRun::readEvents()
{
    while (m_process.canReadLine()) {
        const QByteArray line = m_process.readLine();
        if (const std::optional<ChildEvent> event = decodeEvent(line)) {
            apply(*event);
        } else {
            const QString text = QString::fromUtf8(line).trimmed();
            if (m_transcript)
                m_transcript->writeNote(QStringLiteral("output"), text);
            emit note(text);
        }
    }
}

void InstrumentRun::readErrors()
{
    // Only what the program did not report itself (a crash, a sanitizer).
    for (const QByteArray &line : m_process.readAllStandardError().split('\n')) {
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (text.isEmpty())
            continue;
        if (m_transcript)
            m_transcript->writeNote(QStringLiteral("stderr"), text);
        emit note(text);
    }
}

void InstrumentRun::apply(const ChildEvent &event)
{
    using Kind = ChildEvent::Kind;
    if (m_transcript)
        m_transcript->writeEvent(event);
    switch (event.kind) {
    case Kind::Status:
        m_status = event.text;
        emit statusChanged();
        break;
    case Kind::Stage:
        if (const std::optional<UpdateStage> stage = stageNamed(event.text)) {
            m_stage = std::max(m_stage, *stage);
            // The time limit no longer applies: only a hung child is ended.
            if (*stage == UpdateStage::Verified)
                m_deadline.start(AfterVerdictLimit);
        }
        break;
    case Kind::Progress: {
        const QStringList numbers = event.text.split(QLatin1Char(' '));
        if (numbers.size() != 4)
            break;
        m_value = numbers[0].toDouble();
        m_maximum = numbers[1].toDouble();
        m_linesSent = numbers[2].toLongLong();
        m_linesInFile = numbers[3].toLongLong();
        if (!m_transferring) {
            m_transferring = true;
            m_rateFromAt = event.at;
            m_rateFromLines = m_linesSent;
        }
        m_lastAt = event.at;
        emit progressed();
        break;
    }
    case Kind::Message:
        emit note(event.text);
        break;
    case Kind::Warning:
        emit note(event.text);
        break;
    case Kind::Stop:
        m_stops << stopReason(event.text) + QStringLiteral(" at ") + clock(event.at);
        break;
    case Kind::End:
        m_ended = true;
        m_processorMs = event.text.toLongLong();
        break;
    case Kind::Received:
    case Kind::Question:
    case Kind::PortOpen:
        break;
    }
}

void InstrumentRun::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    readEvents();
    readErrors();
    QString ending;
    if (!m_ended) {
        if (m_killedHung)
            ending = QStringLiteral("killed: still running %1 s after its time limit")
                         .arg(KillGrace.count());
        else if (m_endedByUser)
            ending = QStringLiteral("killed at the second Ctrl-C");
        else if (status == QProcess::CrashExit)
            ending = QStringLiteral("the update process crashed");
        else
            ending = QStringLiteral("the update process ended (status %1) before the update did")
                         .arg(exitCode);
    }
    finish(ending);
}

void InstrumentRun::onDeadline()
{
    if (m_finished)
        return;
    m_killedHung = true;
    m_process.kill();
}

void InstrumentRun::finish(const QString &ending)
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    const UpdateEnd end = m_ended                           ? UpdateEnd::Ended
                          : m_endedByUser || m_killedHung ? UpdateEnd::Stopped
                                                          : UpdateEnd::Crashed;
    m_ending = &endingOf(m_status, m_stage, end);
    m_seconds = m_clock.isValid() ? m_clock.elapsed() / 1000.0 : 0.0;
    if (!ending.isEmpty()) {
        if (m_transcript)
            m_transcript->writeNote(QStringLiteral("ending"), ending);
        emit note(ending);
    }
    if (m_transcript) {
        m_transcript->writeFooter({!m_stops.isEmpty(), m_stops.join(QStringLiteral(", ")),
                                   m_linesSent, status(), m_ending->exitCode,
                                   QString::fromUtf8(m_ending->what),
                                   instrumentName(m_ending->instrument), m_seconds,
                                   m_processorMs});
    }
    emit finished();
}

std::optional<double> InstrumentRun::percent() const
{
    if (!m_transferring)
        return std::nullopt;
    if (m_maximum <= 0)
        return 100.0;
    return std::clamp(100.0 * m_value / m_maximum, 0.0, 100.0);
}

double InstrumentRun::elapsedSeconds() const
{
    if (m_finished)
        return m_seconds;
    return m_clock.isValid() ? m_clock.elapsed() / 1000.0 : 0.0;
}

std::optional<double> InstrumentRun::secondsLeft() const
{
    const qint64 lines = m_linesSent - m_rateFromLines;
    const double span = (m_lastAt - m_rateFromAt) / 1000.0;
    if (!m_transferring || m_finished || lines < 2 || span <= 0 || m_linesSent >= m_linesInFile)
        return std::nullopt;
    const double rate = lines / span;
    const double sinceLast = (QDateTime::currentMSecsSinceEpoch() - m_lastAt) / 1000.0;
    return std::max(0.0, (m_linesInFile - m_linesSent) / rate - sinceLast);
}

FlashReport InstrumentRun::report() const
{
    return {m_port.name,
            m_port.device,
            m_firmware.name,
            m_firmware.sha256,
            status(),
            m_ending->exitCode,
            m_linesSent,
            m_seconds,
            instrumentName(m_ending->instrument),
            m_ending->stage != UpdateStage::NotStarted};
}
