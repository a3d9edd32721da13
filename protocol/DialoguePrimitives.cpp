// The short exchanges with the boot monitor, out of which the update is built.
#include "FirmwareUpdater.h"

#include "ByteText.h"
#include "CountedTime.h"
#include "SerialLink.h"
#include "StatusTexts.h"
#include "WindowOperations.h"
#include "WireProtocol.h"

namespace {

QString quoted(const QByteArray &text)
{
    return QLatin1Char('"') + QString::fromLatin1(text) + QLatin1Char('"');
}

} // namespace

int FirmwareUpdater::readLogged(std::chrono::milliseconds timeout)
{
    const int received = m_link.ReadByte(timeout);
    if (received >= 0)
        m_window.appendLog(logEntry(static_cast<std::uint8_t>(received)));
    return received;
}

void FirmwareUpdater::sendRequest(const Wire::Request &request)
{
    for (const std::uint8_t byte : request)
        m_link.SendByte(byte);
}

bool FirmwareUpdater::stoppedByUser()
{
    // A line whose bytes are held must still go out whole when Stop is seen:
    // they would have left before it.
    m_link.handOver();
    if (m_window.keepRunning())
        return false;
    m_window.setStatus(QLatin1String(Status::StoppedByUser));
    return true;
}

std::optional<int> FirmwareUpdater::countedRead(CountedTime &counted,
                                                std::chrono::milliseconds limit,
                                                const QString &timedOut)
{
    if (stoppedByUser())
        return std::nullopt;
    const int received = readLogged(Wire::PollRead);
    if (received < 0) {
        counted.addEmptyRead();
        if (counted.exceeds(limit)) {
            m_window.setStatus(timedOut);
            return std::nullopt;
        }
    }
    return received;
}

std::optional<int> FirmwareUpdater::firstByte(std::chrono::milliseconds limit,
                                              const QString &timedOut)
{
    CountedTime counted;
    for (;;) {
        const std::optional<int> received = countedRead(counted, limit, timedOut);
        if (!received || *received >= 0)
            return received;
    }
}

bool FirmwareUpdater::WaitForAckOrBoot(bool FailOnTimeout)
{
    // One phase: what comes is gathered until it holds the "boot" text, or
    // the phase gives up (Stop, `tooMany` shown past the length limit, or an
    // empty read when the wait must not hang). In the first phase an ACK ends
    // it instead of being gathered.
    enum class Ended { Ack, Boot, Failed };
    const auto gatherBoot = [&](std::chrono::milliseconds readTimeout, bool ackEnds,
                                const QString &tooMany) {
        QByteArray gathered;
        for (;;) {
            if (stoppedByUser())
                return Ended::Failed;
            const int received = readLogged(readTimeout);
            if (received < 0) {
                if (FailOnTimeout)
                    return Ended::Failed;
                continue;
            }
            if (ackEnds && received == Wire::ACK)
                return Ended::Ack;
            gathered.append(static_cast<char>(received));
            if (gathered.contains(Wire::BootText))
                return Ended::Boot;
            if (gathered.size() > Wire::BootTextMaxChars) {
                m_window.setStatus(tooMany);
                return Ended::Failed;
            }
        }
    };

    m_link.Delay(Wire::Settle);
    m_link.FlushInput();
    m_link.SendByte(Wire::ESC);
    m_window.setStatus(QStringLiteral("Waiting for ACK or boot..."));
    // A monitor that is already running answers ESC with ACK; an instrument
    // that was still starting may send its "boot" text instead.
    const Ended answer = gatherBoot(Wire::PollRead, true, QLatin1String(Status::NoBootAtEntry));
    if (answer != Ended::Ack)
        return answer == Ended::Boot;

    m_link.Delay(Wire::Settle);
    m_link.FlushInput();
    sendRequest(Wire::RebootRequest);
    m_window.setStatus(QStringLiteral("Waiting for boot..."));
    // Every byte counts now, ACK included. A reboot that must not hang allows
    // a longer gap between the text's bytes than one read.
    const std::chrono::milliseconds readTimeout =
        FailOnTimeout ? Wire::BootByteGap : Wire::PollRead;
    return gatherBoot(readTimeout, false, QLatin1String(Status::NoBootAfterReboot)) == Ended::Boot;
}

bool FirmwareUpdater::WaitForText(const QByteArray &Text, std::chrono::milliseconds TimeoutMs)
{
    m_link.Delay(Wire::Settle);
    m_window.setStatus(QStringLiteral("Waiting for ") + quoted(Text) + QStringLiteral("..."));

    QByteArray gathered;
    CountedTime counted;
    for (;;) {
        if (stoppedByUser())
            return false;
        if (TimeoutMs.count() > 0 && counted.exceeds(TimeoutMs)) {
            m_window.setStatus(QStringLiteral("Timeout waiting for ") + quoted(Text) +
                               QLatin1Char('!'));
            return false;
        }
        const int received = readLogged(Wire::PollRead);
        if (received < 0)
            counted.addEmptyRead();
        else
            gathered.append(static_cast<char>(received));
        if (gathered.contains(Text))
            return true;
        if (gathered.size() > Wire::TextMaxChars) {
            m_window.setStatus(QStringLiteral("Did not get ") + quoted(Text) + QLatin1Char('!'));
            return false;
        }
    }
}

bool FirmwareUpdater::WaitForResetAck()
{
    const QString timedOut = QStringLiteral("Timeout waiting for ACK (reset)");
    // Each phase takes exactly one byte, and it must be ACK.
    const auto awaitAck = [&]() {
        const std::optional<int> received = firstByte(Wire::ResetAckLimit, timedOut);
        if (!received)
            return false;
        if (*received == Wire::ACK)
            return true;
        m_window.setStatus(timedOut);
        return false;
    };

    m_link.Delay(Wire::Settle);
    m_link.FlushInput();
    m_link.SendByte(Wire::ESC);
    m_window.setStatus(QStringLiteral("Waiting for ACK... (reset)"));
    if (!awaitAck())
        return false;

    m_link.Delay(Wire::Settle);
    m_link.FlushInput();
    sendRequest(Wire::ResetRequest);
    m_window.setStatus(QStringLiteral("Waiting for ACK (reset)..."));
    if (!awaitAck())
        return false;
    m_window.setStatus(QStringLiteral("Reset OK"));
    return true;
}

bool FirmwareUpdater::SendText(const QByteArray &Text)
{
    for (const char character : Text)
        m_link.SendByte(static_cast<std::uint8_t>(character));
    // Typed when this returns, whatever the caller does next.
    m_link.handOver();
    return true;
}

void FirmwareUpdater::btnESC_Click()
{
    m_link.Delay(Wire::Settle);
    m_link.FlushInput();
    m_window.setStatus(QStringLiteral("Sending ESC"));
    m_link.SendByte(Wire::ESC);
    // The technician reads the answer in the debug log; it is not judged.
    readLogged(Wire::PollRead);
}
