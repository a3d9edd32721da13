#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <vector>

// veltrax-sim's --log, read back: every byte it received (RX) and sent (TX)
// with the time on its clock, and its notes on what the monitor made of them:
//     12.345678 RX 1B
//     12.345702 -- ESC 1 acknowledged
struct SimulatorLogEntry {
    enum class Kind { Received, Sent, Note };
    std::chrono::microseconds at{0};
    Kind kind = Kind::Note;
    std::uint8_t byte = 0; // RX and TX
    QString note;          // notes
};

class SimulatorLog {
public:
    // Lines that are none of the three forms are passed over.
    explicit SimulatorLog(const QByteArray &text);

    const std::vector<SimulatorLogEntry> &entries() const { return m_entries; }
    // Every byte the simulator received, in order.
    QByteArray received() const;
    // The index of the first note containing the text, or -1.
    int noteIndex(const QString &containing) const;

private:
    std::vector<SimulatorLogEntry> m_entries;
};
