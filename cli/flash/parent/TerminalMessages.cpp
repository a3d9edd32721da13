#include "TerminalMessages.h"

#include <QByteArray>
#include <QString>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

void TerminalMessages::showOk(const QString &prompt)
{
    std::fprintf(m_out, "veltrax-flash: %s\n", prompt.toLocal8Bit().constData());
    std::fflush(m_out);
}

bool TerminalMessages::askYesNo(const QString &prompt)
{
    std::fprintf(m_out, "%s [Y/n] ", prompt.toLocal8Bit().constData());
    std::fflush(m_out);
    QByteArray answer;
    int c;
    while ((c = std::fgetc(m_in)) != EOF && c != '\n')
        answer += static_cast<char>(c);
    if (c == EOF) {
        // Only a whole line is an answer; the person may be gone.
        std::fputc('\n', m_out);
        std::fflush(m_out);
        return false;
    }
    const QByteArray word = answer.trimmed().toLower();
    return word.isEmpty() || word == "y" || word == "yes";
}

namespace {

// /dev/tty is a device of its own; the terminal behind it is the session's.
bool errorsOnControllingTerminal()
{
    return ::isatty(STDERR_FILENO) == 1 && ::tcgetsid(STDERR_FILENO) == ::getsid(0);
}

} // namespace

std::optional<bool> TerminalMessages::askOnControllingTerminal(const QString &prompt,
                                                               const QString &context)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::FILE *terminal = ::fdopen(fd, "r+");
    if (!terminal) {
        ::close(fd);
        return std::nullopt;
    }
    if (!context.isEmpty() && !errorsOnControllingTerminal())
        std::fputs(context.toLocal8Bit().constData(), terminal);
    const bool yes = TerminalMessages(terminal, terminal).askYesNo(prompt);
    std::fclose(terminal);
    return yes;
}
