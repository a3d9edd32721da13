#include "ReplayingInstrument.h"

#include "QtFuzzCheck.h"
#include "RecordingWindow.h"
#include "WireProtocol.h"

#include <optional>

namespace {

constexpr char TimedOut = '\xFE';
constexpr char Literal = '\xFD';

bool gathersUpTo(const QByteArray &gathered, qsizetype limit, const char *text,
                 const char *otherText = nullptr)
{
    return gathered.contains(text) || (otherText && gathered.contains(otherText)) ||
           gathered.size() > limit;
}

} // namespace

void ReplayingInstrument::SendByte(std::uint8_t byte)
{
    m_wire.append(static_cast<char>(byte));
}

bool ReplayingInstrument::OpenPort()
{
    ++opened;
    return true;
}

bool ReplayingInstrument::ClosePort()
{
    ++closed;
    return true;
}

std::optional<int> ReplayingInstrument::nextReply()
{
    if (m_next >= m_replies.size())
        return std::nullopt;
    char reply = m_replies.at(m_next++);
    if (reply == TimedOut)
        return -1;
    if (reply == Literal && m_next < m_replies.size())
        reply = m_replies.at(m_next++);
    return static_cast<std::uint8_t>(reply);
}

int ReplayingInstrument::ReadByte(std::chrono::milliseconds)
{
    require(!m_stopped, "a wait read on after Stop", m_window.status.toUtf8());
    if (m_window.statusChanges != m_waitStatus || m_wire.size() != m_waitWire) {
        m_waitStatus = m_window.statusChanges;
        m_waitWire = m_wire.size();
        m_gathered.clear();
        m_waitOver = false;
    }
    require(!m_waitOver, "a wait read on after it was over",
            m_window.status.toUtf8() + " after " + m_gathered.toPercentEncoding());

    const std::optional<int> reply = nextReply();
    if (!reply) {
        // The operator gives up on a dialogue that has run out of answers.
        m_stopped = true;
        m_window.setKeepRunning(false);
        return -1;
    }
    if (*reply >= 0) {
        m_received.append(static_cast<char>(*reply));
        judge(*reply);
    }
    return *reply;
}

void ReplayingInstrument::judge(int received)
{
    const QString &status = m_window.status;
    const QByteArray shown = status.toUtf8();
    if (status == QStringLiteral("Waiting for ACK or boot...")) {
        // ACK ends the first phase; other bytes gather towards "boot".
        if (received == Wire::ACK) {
            m_waitOver = true;
            return;
        }
        m_gathered.append(static_cast<char>(received));
        m_waitOver = gathersUpTo(m_gathered, Wire::BootTextMaxChars, Wire::BootText);
    } else if (status == QStringLiteral("Waiting for boot...")) {
        m_gathered.append(static_cast<char>(received));
        m_waitOver = gathersUpTo(m_gathered, Wire::BootTextMaxChars, Wire::BootText);
    } else if (status == QStringLiteral("Waiting for \"MON: \"...")) {
        m_gathered.append(static_cast<char>(received));
        m_waitOver = gathersUpTo(m_gathered, Wire::TextMaxChars, Wire::PromptText);
    } else if (status == QStringLiteral("File sent, waiting for verification...")) {
        m_gathered.append(static_cast<char>(received));
        m_waitOver =
            gathersUpTo(m_gathered, Wire::VerdictMaxChars, Wire::CodeOkText, Wire::CodeBadText);
    } else if (status == QStringLiteral("Waiting for Flash")) {
        // The monitor may acknowledge the set-up while it erases.
        m_waitOver = received != Wire::ACK;
    } else if (status == QStringLiteral("Sending file...") ||
               status == QStringLiteral("Waiting for ACK... (reset)") ||
               status == QStringLiteral("Waiting for ACK (reset)...")) {
        // One byte answers a line or a reset step, whatever it is.
        m_waitOver = true;
    } else {
        require(false, "a read under a status that no wait shows", shown);
    }
}
