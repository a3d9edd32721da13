#pragma once

#include "SerialLink.h"

#include <QByteArray>

// An instrument that says yes to everything, as fast as the line can be
// called: ACK to ESC, "boot" to the reboot request, the prompt to the access
// word, the erase done at the second ENQ, ACK to each of the file's lines and
// "CODE OK" after the last. It keeps every byte the program sends.
class AckingInstrument final : public SerialLink {
public:
    explicit AckingInstrument(qsizetype fileLines) : m_fileLines(fileLines) {}

    // Everything sent, and where the firmware lines began (-1: never).
    const QByteArray &wire() const { return m_wire; }
    qsizetype linesFrom() const { return m_linesFrom; }

    void Delay(std::chrono::milliseconds) override {}
    void SendByte(std::uint8_t byte) override;
    int ReadByte(std::chrono::milliseconds timeout) override;
    void FlushInput() override { m_answer.clear(); }
    bool OpenPort() override { return true; }
    bool ClosePort() override { return true; }

private:
    enum class Stage { Attention, Reboot, Access, Enquiry, Erased, Lines, Verdict };

    // Moves on to the next stage, answering, once the bytes sent in this
    // stage end with what it waits for.
    void expect(const QByteArray &awaited, Stage next, const QByteArray &answer);

    qsizetype m_fileLines;
    Stage m_stage = Stage::Attention;
    QByteArray m_wire;
    QByteArray m_stageBytes;
    QByteArray m_answer;
    qsizetype m_linesFrom = -1;
    qsizetype m_acks = 0;
    int m_silentReads = 0;
};
