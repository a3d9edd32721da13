#include "Transcript.h"

#include "ChildEvent.h"
#include "VeltraxVersion.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString timeOfDay(qint64 at)
{
    return QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString dateTime(qint64 at)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(at);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

std::unique_ptr<Transcript> Transcript::create(const QString &folder, const QString &port,
                                               QString *error)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]+"));
    QString stem = port;
    stem.replace(unsafe, QStringLiteral("_"));
    while (stem.startsWith(QLatin1Char('_')) || stem.startsWith(QLatin1Char('.')))
        stem.remove(0, 1);
    stem = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           QLatin1Char('-') + stem;
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n) {
        const QString name = stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
        std::unique_ptr<Transcript> transcript(
            new Transcript(dir.filePath(name + QStringLiteral(".log"))));
        if (transcript->m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text))
            return transcript;
        if (!transcript->m_file.exists()) {
            *error = transcript->m_file.fileName() + QStringLiteral(": ") +
                     transcript->m_file.errorString();
            return nullptr;
        }
    }
    *error = QStringLiteral("no free transcript name for %1 in %2").arg(port, folder);
    return nullptr;
}

std::unique_ptr<Transcript> Transcript::reopen(const QString &path, QString *error)
{
    std::unique_ptr<Transcript> transcript(new Transcript(path));
    if (!QFileInfo(path).isFile() ||
        !transcript->m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        *error = path + QStringLiteral(": ") + transcript->m_file.errorString();
        return nullptr;
    }
    return transcript;
}

void Transcript::line(const QString &text)
{
    m_file.write(text.toUtf8() + '\n');
}

void Transcript::row(qint64 at, const QString &kind, const QString &text)
{
    line(timeOfDay(at) + QLatin1Char(' ') + kind.leftJustified(9) + text);
}

void Transcript::writeHeader(const Header &h)
{
    line(QStringLiteral("veltrax-flash transcript"));
    line(QStringLiteral("version:         " VELTRAX_VERSION));
    line(QStringLiteral("start:           ") + dateTime(QDateTime::currentMSecsSinceEpoch()));
    line(QStringLiteral("port:            ") + h.port);
    line(QStringLiteral("device:          ") + h.device);
    line(QStringLiteral("firmware:        ") + h.firmwareName);
    line(QStringLiteral("firmware file:   ") + h.firmwarePath);
    line(QStringLiteral("firmware size:   %1 bytes").arg(h.firmwareBytes));
    line(QStringLiteral("firmware sha256: ") + h.sha256);
    line(QStringLiteral("time limit:      %1 s").arg(h.timeoutSeconds));
    line(QStringLiteral("question:        ") + h.answer);
    line(QString());
    m_file.flush();
}

void Transcript::writeEvent(const ChildEvent &event)
{
    // Progress is in the footer; the end is the footer.
    if (event.kind == ChildEvent::Kind::Progress || event.kind == ChildEvent::Kind::End)
        return;
    QString text = event.text;
    if (event.kind == ChildEvent::Kind::Stop)
        text = QStringLiteral("Stop pressed (%1)").arg(stopReason(event.text));
    if (event.kind == ChildEvent::Kind::PortOpen)
        text = event.text == QLatin1String("ok") ? QStringLiteral("opened")
                                                 : QStringLiteral("could not be opened");
    if (event.kind == ChildEvent::Kind::Question)
        text += QStringLiteral(" -> Yes");
    row(event.at, QString::fromLatin1(eventKindName(event.kind)), text);
    if (event.kind != ChildEvent::Kind::Received)
        m_file.flush();
}

void Transcript::writeNote(const QString &kind, const QString &text)
{
    row(QDateTime::currentMSecsSinceEpoch(), kind, text);
    m_file.flush();
}

void Transcript::writeFooter(const Footer &f)
{
    line(QString());
    line(QStringLiteral("end:             ") + dateTime(QDateTime::currentMSecsSinceEpoch()));
    line(QStringLiteral("stop pressed:    ") +
         (f.stopPressed ? QStringLiteral("yes (%1)").arg(f.stopDetail) : QStringLiteral("no")));
    line(QStringLiteral("lines sent:      %1").arg(f.linesSent));
    line(QStringLiteral("status:          ") + f.status);
    line(QStringLiteral("result:          %1 (exit code %2)")
             .arg(f.exitCode == 0 ? QStringLiteral("success") : QStringLiteral("failure"))
             .arg(f.exitCode));
    line(QStringLiteral("ending:          ") + f.ending);
    line(QStringLiteral("instrument:      ") + f.instrument);
    line(QStringLiteral("seconds:         %1").arg(f.seconds, 0, 'f', 3));
    if (f.processorMs >= 0)
        line(QStringLiteral("processor time:  %1 s").arg(f.processorMs / 1000.0, 0, 'f', 3));
    m_file.flush();
}
