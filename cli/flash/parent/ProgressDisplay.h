#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <functional>

class InstrumentRun;

// Progress and messages on the error stream. On a terminal, one live line
// per instrument (port, stage, percent, elapsed time, time left) kept at the
// bottom, with messages printed above it; otherwise plain lines: each new
// status, every tenth of the transfer, each message, each ending.
class ProgressDisplay : public QObject {
    Q_OBJECT
public:
    ProgressDisplay(const QList<InstrumentRun *> &runs, bool live, std::FILE *out = stderr);

    // --quiet: no statuses and no progress; messages and endings still show.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    // A message of veltrax-flash's own.
    void say(const QString &text);
    // Writes something else to the terminal (a JSON line when standard output
    // is the same terminal) above the live lines.
    void above(const std::function<void()> &write);
    // The live lines as they stand at the end.
    void finish();
    // The terminal hung up: nothing more is written to it.
    void hangUp();

    // One instrument's live line (without its line end), cut to `width`.
    static QString liveLine(const InstrumentRun &run, int portWidth, int width);

private:
    void connectRun(InstrumentRun *run);
    void print(const QString &text);
    void redraw();
    int terminalWidth() const;

    QList<InstrumentRun *> m_runs;
    bool m_live;
    bool m_quiet = false;
    std::FILE *m_out;
    bool m_hungUp = false;
    QTimer m_refresh;
    int m_drawn = 0; // live lines currently on screen
    int m_portWidth = 0;
    QList<int> m_tenths;
};
