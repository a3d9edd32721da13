#pragma once

#include "MessageBoxService.h"

#include <cstdio>
#include <optional>

// The message boxes of veltrax-flash itself, on a terminal: a question is
// answered with [Y/n] (Enter is Yes, as Yes is the box's default button;
// anything but y or yes is No, and so are the end of input, a read error and
// a signal that interrupts the read: a hang-up, Ctrl-C); an OK box is a line
// on `out`.
class TerminalMessages final : public MessageBoxService {
public:
    TerminalMessages(std::FILE *in, std::FILE *out) : m_in(in), m_out(out) {}

    // Asks on the controlling terminal (/dev/tty), as ssh and sudo do: a
    // redirected standard error never hides the question, and a pipe on
    // standard input never answers it. Empty when there is no terminal.
    // `context` (what the question is about) goes before it there, unless
    // standard error is that terminal and showed it already.
    static std::optional<bool> askOnControllingTerminal(const QString &prompt,
                                                        const QString &context = {});

    void showOk(const QString &prompt) override;
    bool askYesNo(const QString &prompt) override;

private:
    std::FILE *m_in;
    std::FILE *m_out;
};
