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
#include "WireProtocol.h"
#include "frmHidden.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int CannotRun = 70;

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
            QString::number(s.timeout.count())};
}

std::optional<ChildSettings> parseChildArguments(const QStringList &arguments)
{
    if (arguments.size() != 6)
        return std::nullopt;
    ChildSettings s;
    bool comm = false, timeout = false;
    s.port = arguments[0];
    s.commPort = arguments[1].toInt(&comm);
    s.device = arguments[2];
    s.firmwarePath = arguments[3];
    s.sha256 = arguments[4];
    s.timeout = std::chrono::seconds(arguments[5].toLongLong(&timeout));
    if (!comm || !timeout || s.timeout.count() < 1)
        return std::nullopt;
    return s;
}

int runUpdateChild(const ChildSettings &settings)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Ctrl-C reaches the parent, which passes it on as SIGINT: Stop, as the
    // button would press it at this moment. So does the parent's end. Caught
    // from the start: a Stop before the transfer begins is overridden by it,
    // as the window's would be.
    SignalNotifier stopSignals{SIGINT, SIGTERM};
    ChildReporter reporter([](const QByteArray &line) { writeAll(STDOUT_FILENO, line); });
    warningReporter = &reporter;
    qInstallMessageHandler(forwardWarnings);

    // The parent checked these bytes; make sure these are they.
    const std::optional<QByteArray> firmware = readAll(STDIN_FILENO);
    if (!firmware || QCryptographicHash::hash(*firmware, QCryptographicHash::Sha256).toHex() !=
                         settings.sha256.toLatin1()) {
        reporter.report(ChildEvent::Kind::Warning,
                        QStringLiteral("the checked firmware did not arrive whole"));
        return CannotRun;
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

    QObject::connect(&stopSignals, &SignalNotifier::raised, [&](int) {
        reporter.report(ChildEvent::Kind::Stop, QStringLiteral("ctrl-c"));
        updater.btnStop_Click();
    });
    // The time limit presses Stop too, and again whenever the transfer's
    // start overrides it, so that the limit holds.
    bool timeUp = false;
    const auto pressStopForTime = [&] {
        timeUp = true;
        reporter.report(ChildEvent::Kind::Stop, QStringLiteral("timeout"));
        updater.btnStop_Click();
    };
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, pressStopForTime);
    window.onStopOverridden([&] {
        if (timeUp)
            QTimer::singleShot(0, pressStopForTime);
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
            status = CannotRun;
        }
        QCoreApplication::exit(status);
    });
    QCoreApplication::exec();
    warningReporter = nullptr;
    return status;
}
