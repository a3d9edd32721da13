#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <vector>

// veltrax-sim's --log read back: "12.345678 RX 1B", "TX", "-- note".
struct SimulatorLogEntry {
    enum class Kind { Received, Sent, Note };
    std::chrono::microseconds at{0};
    Kind kind = Kind::Note;
    std::uint8_t byte = 0; // RX and TX
    QString note;          // notes
};

class SimulatorLog {
public:
    explicit SimulatorLog(const QByteArray &text);

    const std::vector<SimulatorLogEntry> &entries() const { return m_entries; }
    QByteArray received() const;
    // The first note containing the text, or -1.
    int noteIndex(const QString &containing) const;

private:
    std::vector<SimulatorLogEntry> m_entries;
};
