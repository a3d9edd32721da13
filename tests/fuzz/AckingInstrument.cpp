#include "AckingInstrument.h"

#include "QtFuzzCheck.h"
#include "WireProtocol.h"

namespace {

QByteArray bytes(const Wire::Request &request)
{
    return QByteArray(reinterpret_cast<const char *>(request.data()),
                      static_cast<qsizetype>(request.size()));
}

// No wait of the transfer lasts this many empty reads against an instrument
// that answers everything: more means the dialogue has lost its way.
constexpr int StalledAfter = 1000;

} // namespace

void AckingInstrument::expect(const QByteArray &awaited, Stage next, const QByteArray &answer)
{
    if (!m_stageBytes.endsWith(awaited))
        return;
    m_stage = next;
    m_stageBytes.clear();
    m_answer += answer;
}

void AckingInstrument::SendByte(std::uint8_t byte)
{
    m_wire.append(static_cast<char>(byte));
    m_stageBytes.append(static_cast<char>(byte));
    switch (m_stage) {
    case Stage::Attention:
        expect(QByteArray(1, Wire::ESC), Stage::Reboot, QByteArray(1, Wire::ACK));
        break;
    case Stage::Reboot:
        expect(bytes(Wire::RebootRequest), Stage::Access, Wire::BootText);
        break;
    case Stage::Access:
        expect(QByteArray(Wire::AccessWord) + "\r\n", Stage::Enquiry, Wire::PromptText);
        break;
    case Stage::Enquiry:
        expect(QByteArray(2, Wire::ENQ), Stage::Erased, QByteArray(1, char(Wire::FlashReady)));
        break;
    case Stage::Erased:
        expect(QByteArray(1, Wire::ENQ), Stage::Lines, {});
        if (m_stage == Stage::Lines)
            m_linesFrom = m_wire.size();
        break;
    case Stage::Lines:
    case Stage::Verdict:
        break;
    }
}

int AckingInstrument::ReadByte(std::chrono::milliseconds)
{
    if (m_stage == Stage::Lines && m_answer.isEmpty()) {
        if (m_acks < m_fileLines) {
            ++m_acks;
            return Wire::ACK;
        }
        m_stage = Stage::Verdict;
        m_answer = Wire::CodeOkText;
    }
    if (m_answer.isEmpty()) {
        require(++m_silentReads < StalledAfter, "the dialogue waits for an answer that never comes",
                m_wire.left(64).toHex(' '));
        return -1;
    }
    const auto next = static_cast<std::uint8_t>(m_answer.front());
    m_answer.remove(0, 1);
    return next;
}
