#include "TerminalMessages.h"

#include <QByteArray>
#include <QString>
#include <fcntl.h>
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

std::optional<bool> TerminalMessages::askOnControllingTerminal(const QString &prompt)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::FILE *terminal = ::fdopen(fd, "r+");
    if (!terminal) {
        ::close(fd);
        return std::nullopt;
    }
    const bool yes = TerminalMessages(terminal, terminal).askYesNo(prompt);
    std::fclose(terminal);
    return yes;
}
