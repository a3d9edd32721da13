#include "TerminalMessages.h"

#include <QByteArray>
#include <QString>

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
    for (int c; (c = std::fgetc(m_in)) != EOF && c != '\n';)
        answer += static_cast<char>(c);
    if (answer.isEmpty() && std::feof(m_in)) {
        std::fputc('\n', m_out);
        return false;
    }
    const QByteArray word = answer.trimmed().toLower();
    return word.isEmpty() || word == "y" || word == "yes";
}
