#pragma once

#include "CoalescingLink.h"
#include "WireProtocol.h"

#include <QByteArray>
#include <chrono>
#include <optional>

class CountedTime;
class FirmwareSource;
class FirmwareImage;
class MessageBoxService;
class WindowOperations;

// The dialogue with the instrument's boot monitor: the short exchanges, the
// firmware transfer, and the update sequence behind "Send File" and "Stop".
// It reaches the line only through SerialLink and the window only through
// WindowOperations. Every procedure reports its stage and its failure on the
// status line; a caller tests only the Boolean result. The bytes sent between
// two waits go to the line together, before the wait begins (CoalescingLink).
class FirmwareUpdater {
public:
    FirmwareUpdater(SerialLink &link, WindowOperations &window, MessageBoxService &messages,
                    FirmwareSource &files);

    bool WaitForAckOrBoot(bool FailOnTimeout);
    // TimeoutMs of counted time; zero or less waits without limit.
    bool WaitForText(const QByteArray &Text, std::chrono::milliseconds TimeoutMs);
    bool WaitForResetAck();
    bool SendText(const QByteArray &Text);
    void btnESC_Click();

    // Reads and checks the file first: "Invalid File" and nothing on the wire
    // for one that is missing, unreadable, too large or can never succeed.
    bool SendFirmwareFile();
    // The dialogue and the transfer of an image already read and checked.
    bool sendFirmwareImage(const FirmwareImage &image);

    void btnSend_Click();
    void btnStop_Click();

private:
    // One read, its byte (if any) appended to the debug log; -1 when none came.
    int readLogged(std::chrono::milliseconds timeout);
    void sendRequest(const Wire::Request &request);
    // True, with "Stopped by user!" shown, once Stop has been pressed. Every
    // wait begins here, so what was sent before it is on the line first.
    bool stoppedByUser();
    // One pass of a wait that gives up once its counted time exceeds `limit`:
    // the byte read, -1 for an empty read within the limit, or nothing once
    // the wait is over (Stop, or `timedOut` shown).
    std::optional<int> countedRead(CountedTime &counted, std::chrono::milliseconds limit,
                                   const QString &timedOut);
    // The first byte that comes within `limit` of counted time; nothing once
    // the wait is over (Stop, or `timedOut` shown).
    std::optional<int> firstByte(std::chrono::milliseconds limit, const QString &timedOut);
    bool invalidFile();

    bool waitForFlashReady();
    bool sendLines(const FirmwareImage &image);
    bool waitForLineAck(qint64 lineNumber);
    bool waitForVerdict();
    void runUpdate();

    CoalescingLink m_link;
    WindowOperations &m_window;
    MessageBoxService &m_messages;
    FirmwareSource &m_files;
};
