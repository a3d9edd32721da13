#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Whether progress is shown as live lines, redrawn in place at the bottom of
// the terminal, or as plain lines. Live lines need a terminal that moves its
// cursor (TERM set and not "dumb") and a row for each instrument with one to
// spare: lines scrolled off the top can never be redrawn, and every redraw
// would then add them to the scrollback again.
bool wantLiveLines(bool terminal, const QByteArray &term, int rows, qsizetype instruments);
// The same for the terminal on `fd`, from the environment's TERM.
bool wantLiveLines(int fd, qsizetype instruments);

// One instrument's live line, at most `width` characters:
//     PORT  LEAD STATUS TRAIL TIMES
// `lead` (an ended update's exit code) and `trail` (the percent) are never
// cut. Where the line is too wide the port name gives way first, keeping its
// end (/dev/serial/by-id/... names differ there); then the status; then the
// times, the time left first.
QString fitLiveLine(const QString &port, int portWidth, const QString &lead, const QString &status,
                    const QString &trail, QStringList times, int width);
