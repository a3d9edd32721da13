#include "UpdateChild.h"

#include "ChildMessages.h"
#include "ChildReporter.h"
#include "CommStuff.h"
#include "ConsoleWindow.h"
#include "FirmwareImage.h"
#include "FirmwareUpdater.h"
#include "HeldFirmware.h"
#include "QSerialByteDevice.h"
#include "ReportingLink.h"
#include "SignalNotifier.h"
#include "Transcript.h"
#include "UpdateEndings.h"
#include "WireProtocol.h"
#include "frmHidden.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // the parent is gone; the update goes on to its end
        data += written;
        left -= written;
    }
}

std::optional<QByteArray> readAll(int fd)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            return bytes;
        bytes.append(buffer, count);
        if (bytes.size() > FirmwareImage::MaxFileBytes)
            return std::nullopt;
    }
}

qint64 processorMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

ChildReporter *warningReporter = nullptr;

// The program's own warnings (a port's reason for not opening, a line that
// failed) belong to this instrument's record.
void forwardWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (warningReporter)
        warningReporter->report(ChildEvent::Kind::Warning, text);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QStringList childArguments(const ChildSettings &s)
{
    return {QLatin1String(ChildModeOption),
            s.port,
            QString::number(s.commPort),
            s.device,
            s.firmwarePath,
            s.sha256,
            QString::number(s.timeout.count()),
            s.transcriptPath};
}

std::optional<ChildSettings> parseChildArguments(const QStringList &arguments)
{
    if (arguments.size() != 7)
        return std::nullopt;
    ChildSettings s;
    bool comm = false, timeout = false;
    s.port = arguments[0];
    s.commPort = arguments[1].toInt(&comm);
    s.device = arguments[2];
    s.firmwarePath = arguments[3];
    s.sha256 = arguments[4];
    s.timeout = std::chrono::seconds(arguments[5].toLongLong(&timeout));
    s.transcriptPath = arguments[6];
    if (!comm || !timeout || s.timeout.count() < 1)
        return std::nullopt;
    return s;
}

int runUpdateChild(const ChildSettings &settings)
{
    QElapsedTimer clock;
    clock.start();
    std::signal(SIGPIPE, SIG_IGN);
    // In a process group of its own the child never gets the terminal's
    // hang-up; one sent to its group when the parent dies must not end it.
    std::signal(SIGHUP, SIG_IGN);
    // Ctrl-C and SIGTERM reach the parent, which passes them on: Stop, as the
    // button would press it at this moment. Caught from the start: a Stop
    // before the transfer begins is overridden by it, as the window's would be.
    SignalNotifier notifier{SIGINT, SIGTERM, ParentGoneSignal};

    // Once the parent is gone the events go into the transcript, if there is one.
    std::unique_ptr<Transcript> record;
    ChildReporter reporter([&record](const QByteArray &lines) {
        if (!record) {
            writeAll(STDOUT_FILENO, lines);
            return;
        }
        for (const QByteArray &line : lines.split('\n')) {
            if (const std::optional<ChildEvent> event = decodeEvent(line))
                record->writeEvent(*event);
        }
    });
    warningReporter = &reporter;
    qInstallMessageHandler(forwardWarnings);

    // The parent checked these bytes; make sure these are they.
    const std::optional<QByteArray> firmware = readAll(STDIN_FILENO);
    if (!firmware || QCryptographicHash::hash(*firmware, QCryptographicHash::Sha256).toHex() !=
                         settings.sha256.toLatin1()) {
        reporter.report(ChildEvent::Kind::Warning,
                        QStringLiteral("the checked firmware did not arrive whole"));
        return ChildCannotRun;
    }

    ChildMessages messages(reporter);
    const QString device = settings.device;
    CommStuff comm(messages, [device] {
        return std::make_unique<QSerialByteDevice>([device](int) { return device; });
    });
    comm.SetBaudRate(Wire::LineSpeed);
    if (settings.commPort > 0)
        comm.hidden().MSComm1.setCommPort(settings.commPort);
    else
        comm.namePortInMessages(settings.port);
    ReportingLink link(comm, reporter);
    HeldFirmware files(settings.firmwarePath, *firmware);
    ConsoleWindow window(reporter, settings.firmwarePath, files.lineCount());
    FirmwareUpdater updater(link, window, messages, files);

    QStringList stops;
    const auto pressStop = [&](const char *reason) {
        stops << stopReason(QLatin1String(reason));
        reporter.report(ChildEvent::Kind::Stop, QLatin1String(reason));
        updater.btnStop_Click();
    };
    // A Stop that must hold: pressed again whenever the transfer's start
    // overrides it.
    const char *standingStop = nullptr;
    window.onStopOverridden([&] {
        if (standingStop)
            QTimer::singleShot(0, [&] { pressStop(standingStop); });
    });

    // The time limit presses Stop until the verdict. After it the new image
    // is in, and Stop could only cut short the reset and the reboot, which
    // run on limits of their own.
    QTimer limit;
    limit.setSingleShot(true);
    // A coarse timer may fire 5 % early: a limit of 2 s would stop at 1.9 s.
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, [&] {
        if (window.stage() >= UpdateStage::Verified) {
            reporter.report(ChildEvent::Kind::Warning,
                            QStringLiteral("time limit reached after the verdict; the update "
                                           "goes on to its end"));
            return;
        }
        // The status will say "Stopped by user!", as the window's would; say why.
        reporter.report(ChildEvent::Kind::Warning,
                        QStringLiteral("time limit of %1 s reached; Stop pressed")
                            .arg(settings.timeout.count()));
        standingStop = StopBy::TimeLimit;
        pressStop(StopBy::TimeLimit);
    });

    // A parent that dies (killed, crashed) leaves no one to ask. Before the
    // first ENQ the instrument is untouched and Stop leaves it so; from then
    // on only finishing brings back a good image.
    bool orphaned = false;
    const auto parentGone = [&] {
        if (orphaned)
            return;
        orphaned = true;
        QString error;
        if (!settings.transcriptPath.isEmpty())
            record = Transcript::reopen(settings.transcriptPath, &error);
        if (record)
            record->writeNote(QStringLiteral("orphaned"),
                              QStringLiteral("veltrax-flash is gone; the update process writes "
                                             "the rest of this record"));
        if (window.stage() < UpdateStage::Erasing) {
            standingStop = StopBy::ParentGone;
            pressStop(StopBy::ParentGone);
        } else {
            reporter.report(ChildEvent::Kind::Warning,
                            QStringLiteral("veltrax-flash is gone; the update goes on to its end"));
        }
    };
    QObject::connect(&notifier, &SignalNotifier::raised, [&](int signal) {
        if (signal == ParentGoneSignal)
            parentGone();
        else
            pressStop(signal == SIGTERM ? StopBy::Terminated : StopBy::Signal);
    });

    int status = 0;
    QTimer::singleShot(0, [&] {
        limit.start(settings.timeout);
        try {
            updater.btnSend_Click();
            reporter.report(ChildEvent::Kind::End, QString::number(processorMs()));
        } catch (const std::exception &error) {
            reporter.report(ChildEvent::Kind::Warning, QStringLiteral("the update failed: ") +
                                                           QString::fromLocal8Bit(error.what()));
            status = ChildCannotRun;
        }
        QCoreApplication::exit(status);
    });
    QCoreApplication::exec();
    if (record) {
        const UpdateEnding &ending =
            endingOf(window.status(), window.stage(),
                     status == 0 ? UpdateEnd::Ended : UpdateEnd::Crashed);
        record->writeFooter({!stops.isEmpty(), stops.join(QStringLiteral(", ")),
                             window.linesSent(), window.status(), ending.exitCode,
                             QString::fromUtf8(ending.what), instrumentName(ending.instrument),
                             clock.elapsed() / 1000.0, processorMs()});
    }
    warningReporter = nullptr;
    return status;
}
