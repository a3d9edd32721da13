// Carrying one firmware image into the instrument's monitor.
#include "FirmwareUpdater.h"

#include "ByteText.h"
#include "CountedTime.h"
#include "FirmwareImage.h"
#include "HexLine.h"
#include "MessageBoxService.h"
#include "SerialLink.h"
#include "StatusTexts.h"
#include "WindowOperations.h"
#include "WireProtocol.h"

bool FirmwareUpdater::invalidFile()
{
    m_messages.showOk(QStringLiteral("Invalid File"));
    return false;
}

bool FirmwareUpdater::SendFirmwareFile()
{
    // Read once and checked before anything goes on the wire; the transfer
    // sends that copy, so a file rewritten or removed meanwhile changes nothing.
    QString refusal;
    const std::optional<FirmwareImage> image =
        FirmwareImage::load(m_files, m_window.firmwarePath(), refusal);
    if (!image) {
        qWarning("Firmware file %s refused: %s", qUtf8Printable(m_window.firmwarePath()),
                 qUtf8Printable(refusal));
        return invalidFile();
    }
    return sendFirmwareImage(*image);
}

bool FirmwareUpdater::sendFirmwareImage(const FirmwareImage &image)
{
    m_window.setProgressValue(0);
    m_window.clearLog();
    m_window.setSentLine(QString());
    m_link.Delay(Wire::LineQuiet);
    m_link.FlushInput();
    // From here on a Stop counts; one pressed earlier is overridden.
    m_window.setKeepRunning(true);

    m_window.reachStage(UpdateStage::Started);
    m_window.setStatus(QStringLiteral("Attempting to reboot veltrax:..."));
    if (!WaitForAckOrBoot(false))
        return false;
    m_link.FlushInput();
    m_link.Delay(Wire::EnquiryGap);
    SendText(Wire::AccessWord);
    m_link.SendByte(Wire::CR);
    m_link.SendByte(Wire::LF);
    if (!WaitForText(Wire::PromptText, Wire::PromptLimit))
        return false;

    m_window.setStatus(QStringLiteral("Got Prompt..."));
    // The monitor may begin its erase on these ENQs: from here the old image may be gone.
    m_window.reachStage(UpdateStage::Erasing);
    m_window.setStatus(QStringLiteral("Setting up... (ENQ1)"));
    for (int enquiry = 0; enquiry < 2; ++enquiry) {
        m_link.Delay(Wire::EnquiryGap);
        m_link.SendByte(Wire::ENQ);
    }
    if (!waitForFlashReady())
        return false;

    m_window.setStatus(QStringLiteral("Sending file..."));
    m_window.setProgressRange(0, static_cast<double>(image.size()));
    if (!sendLines(image))
        return false;

    return waitForVerdict();
}

bool FirmwareUpdater::waitForFlashReady()
{
    m_window.setStatus(QStringLiteral("Waiting for Flash"));
    const QString timedOut = QLatin1String(Status::FlashTimedOut);
    CountedTime counted;
    for (;;) {
        const std::optional<int> received = countedRead(counted, Wire::FlashEraseLimit, timedOut);
        if (!received)
            return false;
        // The monitor may still acknowledge the set-up while it erases.
        if (*received < 0 || *received == Wire::ACK)
            continue;
        if (*received == Wire::FlashReady)
            break;
        m_window.setStatus(QLatin1String(Status::FlashFailed));
        return false;
    }
    m_window.setStatus(QStringLiteral("Setting up... (ENQ2)"));
    m_link.Delay(Wire::EnquiryGap);
    m_link.SendByte(Wire::ENQ);
    return true;
}

bool FirmwareUpdater::sendLines(const FirmwareImage &image)
{
    qint64 lineNumber = 0;
    for (TextLines lines = image.lines(); !lines.atEnd();) {
        // Whatever followed the last answer is noise, not the next line's answer.
        m_link.FlushInput();
        const QByteArrayView text = lines.next();
        const std::optional<HexLine> hex = decodeHexLine(text);
        // Never for a checked image, whose every line decodes.
        if (!hex) {
            qWarning("Firmware line %lld refused: a pair is not two hexadecimal digits",
                     static_cast<long long>(lineNumber + 1));
            return invalidFile();
        }
        m_window.setSentLine(QString::fromLatin1(text));
        m_link.SendByte(Wire::SOH);
        ++lineNumber;
        m_window.setStatus(QStringLiteral("Sending file..."));
        for (const char byte : hex->bytes)
            m_link.SendByte(static_cast<std::uint8_t>(byte));
        if (!waitForLineAck(lineNumber))
            return false;
        m_window.setProgressValue(m_window.progressValue() +
                                  static_cast<double>(hex->endPosition + 1));
        m_window.processEvents();
    }
    return true;
}

bool FirmwareUpdater::waitForLineAck(qint64 lineNumber)
{
    const QString failedAt = QLatin1String(Status::FailedAtLine) + QString::number(lineNumber);
    const QString timedOut = failedAt + QStringLiteral(" (timeout)");
    const std::optional<int> received = firstByte(Wire::LineAckLimit, timedOut);
    if (!received)
        return false;
    if (*received == Wire::ACK)
        return true;
    if (*received == Wire::NAK)
        m_window.setStatus(failedAt + QStringLiteral(" (NAK)"));
    else
        m_window.setStatus(failedAt + QStringLiteral(" (0x") +
                           byteHex(static_cast<std::uint8_t>(*received)) + QLatin1Char(')'));
    return false;
}

bool FirmwareUpdater::waitForVerdict()
{
    m_window.setStatus(QStringLiteral("File sent, waiting for verification..."));
    QByteArray reply;
    CountedTime counted;
    for (;;) {
        if (stoppedByUser())
            return false;
        if (counted.exceeds(Wire::VerificationLimit)) {
            m_window.setStatus(QLatin1String(Status::VerificationTimedOut));
            return false;
        }
        const int received = readLogged(Wire::PollRead);
        if (received < 0)
            counted.addEmptyRead();
        else
            reply.append(static_cast<char>(received));
        // Here the length is judged first: a verdict completed by one byte too
        // many is not trusted.
        if (reply.size() > Wire::VerdictMaxChars) {
            m_window.setStatus(QLatin1String(Status::SentUnsuccessfully) +
                               QStringLiteral("(Got to many chars)"));
            return false;
        }
        if (reply.contains(Wire::CodeOkText)) {
            m_window.reachStage(UpdateStage::Verified);
            m_window.setStatus(QStringLiteral("File sent successfully! (Got Verification)"));
            return true;
        }
        if (reply.contains(Wire::CodeBadText)) {
            m_window.setStatus(QLatin1String(Status::SentUnsuccessfully) +
                               QStringLiteral("(Got Error)"));
            return false;
        }
    }
}
