#pragma once

#include "MessageBoxService.h"

#include <cstdio>

// The message boxes of veltrax-flash itself, on a terminal: a question is
// answered with [Y/n] (Enter is Yes, as Yes is the box's default button;
// anything but y or yes is No, and so is the end of input); an OK box is a
// line on the error stream.
class TerminalMessages final : public MessageBoxService {
public:
    explicit TerminalMessages(std::FILE *in = stdin, std::FILE *out = stderr) : m_in(in), m_out(out)
    {
    }

    void showOk(const QString &prompt) override;
    bool askYesNo(const QString &prompt) override;

private:
    std::FILE *m_in;
    std::FILE *m_out;
};
