#include "ProgressDisplay.h"

#include "InstrumentRun.h"
#include "LiveLines.h"

#include <cmath>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString minutesSeconds(double seconds)
{
    const qint64 whole = static_cast<qint64>(std::llround(seconds));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressDisplay::ProgressDisplay(const QList<InstrumentRun *> &runs, bool live, std::FILE *out)
    : m_runs(runs), m_live(live), m_out(out)
{
    for (InstrumentRun *run : m_runs) {
        m_portWidth = std::max(m_portWidth, static_cast<int>(run->port().name.size()));
        m_tenths << 0;
        connectRun(run);
    }
    if (m_live) {
        m_refresh.setInterval(250);
        connect(&m_refresh, &QTimer::timeout, this, &ProgressDisplay::redraw);
        m_refresh.start();
    }
}

void ProgressDisplay::connectRun(InstrumentRun *run)
{
    const QString port = run->port().name;
    connect(run, &InstrumentRun::note, this,
            [this, port](const QString &text) { say(port + QStringLiteral(": ") + text); });
    if (m_live) {
        connect(run, &InstrumentRun::statusChanged, this, &ProgressDisplay::redraw);
        connect(run, &InstrumentRun::finished, this, &ProgressDisplay::redraw);
        return;
    }
    connect(run, &InstrumentRun::statusChanged, this, [this, run, port] {
        if (!m_quiet)
            print(port + QStringLiteral(": ") + run->status());
    });
    const qsizetype index = m_runs.indexOf(run);
    connect(run, &InstrumentRun::progressed, this, [this, run, port, index] {
        const int tenth = static_cast<int>(run->percent().value_or(0) / 10);
        if (m_quiet || tenth <= m_tenths[index])
            return;
        m_tenths[index] = tenth;
        QString line = QStringLiteral("%1: %2%, %3 lines, %4 elapsed")
                           .arg(port)
                           .arg(tenth * 10)
                           .arg(run->linesSent())
                           .arg(minutesSeconds(run->elapsedSeconds()));
        if (const std::optional<double> left = run->secondsLeft())
            line += QStringLiteral(", about %1 left").arg(minutesSeconds(*left));
        print(line);
    });
    connect(run, &InstrumentRun::finished, this, [this, run, port] {
        print(QStringLiteral("%1: ended: %2 (exit code %3, %4 s)")
                  .arg(port, run->status())
                  .arg(run->exitCode())
                  .arg(run->elapsedSeconds(), 0, 'f', 1));
    });
}

QString ProgressDisplay::liveLine(const InstrumentRun &run, int portWidth, int width)
{
    QString lead, trail;
    QStringList times;
    if (run.isFinished()) {
        lead = QStringLiteral("[exit %1] ").arg(run.exitCode());
    } else if (const std::optional<double> percent = run.percent()) {
        trail = QStringLiteral("  %1%").arg(static_cast<int>(*percent), 3);
    }
    times << QStringLiteral("  ") + minutesSeconds(run.elapsedSeconds());
    if (!run.isFinished())
        if (const std::optional<double> left = run.secondsLeft())
            times << QStringLiteral("  ETA ") + minutesSeconds(*left);
    return fitLiveLine(run.port().name, portWidth, lead, run.status(), trail, times,
                       std::max(width, 1));
}

int ProgressDisplay::terminalWidth() const
{
    winsize size{};
    if (::ioctl(::fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col - 1; // never the last column: no wrap
    return 79;
}

void ProgressDisplay::hangUp()
{
    m_hungUp = true;
    m_refresh.stop();
}

void ProgressDisplay::above(const std::function<void()> &write)
{
    if (m_hungUp) {
        write();
        return;
    }
    if (m_live && m_drawn > 0) {
        // Up over the live lines, clear them, then the message, then them again.
        std::fprintf(m_out, "\x1b[%dA\r\x1b[J", m_drawn);
        std::fflush(m_out);
        m_drawn = 0;
    }
    write();
    if (m_live)
        redraw();
    std::fflush(m_out);
}

void ProgressDisplay::print(const QString &text)
{
    if (m_hungUp)
        return;
    above([this, &text] { std::fprintf(m_out, "%s\n", text.toLocal8Bit().constData()); });
}

void ProgressDisplay::say(const QString &text)
{
    print(QStringLiteral("veltrax-flash: ") + text);
}

void ProgressDisplay::redraw()
{
    if (!m_live || m_hungUp)
        return;
    QByteArray screen;
    if (m_drawn > 0)
        screen += "\x1b[" + QByteArray::number(m_drawn) + "A";
    const int width = terminalWidth();
    for (const InstrumentRun *run : m_runs)
        screen += "\r\x1b[2K" + liveLine(*run, m_portWidth, width).toLocal8Bit() + '\n';
    m_drawn = static_cast<int>(m_runs.size());
    std::fwrite(screen.constData(), 1, static_cast<size_t>(screen.size()), m_out);
    std::fflush(m_out);
}

void ProgressDisplay::finish()
{
    m_refresh.stop();
    redraw();
}
