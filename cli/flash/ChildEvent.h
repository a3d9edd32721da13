#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What an update child tells the parent, one line each on its standard output:
//     KIND MS-SINCE-EPOCH TEXT
// with backslash, CR and LF in TEXT escaped, so a status or a received byte
// text never breaks the framing.
struct ChildEvent {
    enum class Kind {
        Status,   // the status line changed: TEXT is the new text
        Received, // debug log entries, as the window's log shows them ("6 62 6F ")
        Progress, // "VALUE MAXIMUM LINES-SENT LINES-IN-FILE"
        Message,  // an OK box: TEXT is its prompt
        Question, // the update question, answered Yes for the whole run
        PortOpen, // "ok" or "failed"
        Stage,    // the update reached a stage: its name ("erasing")
        Stop,     // Stop pressed: one of the StopBy texts
        Warning,  // a warning of the program's own (the port's reason, say)
        End,      // the update has ended; TEXT is the processor time in ms
    };

    Kind kind = Kind::Status;
    qint64 at = 0; // milliseconds since the epoch
    QString text;
};

// Why a child pressed Stop, as its Stop event says.
namespace StopBy {
inline constexpr char Signal[] = "ctrl-c";          // Ctrl-C, passed on by the parent
inline constexpr char Terminated[] = "sigterm";     // SIGTERM, passed on by the parent
inline constexpr char TimeLimit[] = "timeout";      // --timeout, before the verdict
inline constexpr char ParentGone[] = "parent gone"; // veltrax-flash died before the first ENQ
} // namespace StopBy
// The reason in the transcript's words: "Ctrl-C", "time limit", ...
QString stopReason(const QString &stopText);

// The kind's name, on the wire between the processes and in the transcript.
QByteArray eventKindName(ChildEvent::Kind kind);
QByteArray encodeEvent(const ChildEvent &event);
// Empty for a line that is not an event (the line end may be there or not).
std::optional<ChildEvent> decodeEvent(QByteArray line);
