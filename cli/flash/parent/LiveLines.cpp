#include "LiveLines.h"

#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The fewest characters a cut port name keeps: "..." and its last five.
constexpr int MinPortWidth = 8;

QString cutPort(const QString &port, int width)
{
    if (port.size() <= width)
        return port.leftJustified(width);
    return QStringLiteral("...") + port.right(width - 3);
}

} // namespace

bool wantLiveLines(bool terminal, const QByteArray &term, int rows, qsizetype instruments)
{
    return terminal && !term.isEmpty() && term != "dumb" && instruments < rows;
}

bool wantLiveLines(int fd, qsizetype instruments)
{
    winsize size{};
    const bool terminal = ::isatty(fd) == 1;
    const int rows =
        terminal && ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row : 24;
    return wantLiveLines(terminal, qgetenv("TERM"), rows, instruments);
}

QString fitLiveLine(const QString &port, int portWidth, const QString &lead, const QString &status,
                    const QString &trail, QStringList times, int width)
{
    const auto compose = [&](const QString &shownPort, const QString &shownStatus) {
        return shownPort + QStringLiteral("  ") + lead + shownStatus + trail +
               times.join(QString());
    };
    const QString whole = compose(port.leftJustified(portWidth), status);
    if (whole.size() <= width)
        return whole;
    const qsizetype portRoom = width - compose(QString(), status).size();
    if (portRoom >= MinPortWidth)
        return compose(cutPort(port, static_cast<int>(portRoom)), status);

    const QString shortPort = cutPort(port, MinPortWidth);
    const qsizetype statusRoom = width - compose(shortPort, QString()).size();
    if (statusRoom > 0)
        return compose(shortPort, status.left(statusRoom));
    while (!times.isEmpty() && compose(shortPort, QString()).size() > width)
        times.removeLast();
    return compose(shortPort, QString());
}
