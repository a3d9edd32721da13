#include "SignalNotifier.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace {

int writeEnd = -1;

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe loses the signal, but then many more are waiting unread.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    errno = saved;
}

} // namespace

SignalNotifier::SignalNotifier(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make the signal pipe");
    m_readEnd = ends[0];
    writeEnd = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalNotifier::readPipe);

    for (const int signal : signalNumbers)
        watch(signal);
}

void SignalNotifier::watch(int signal, bool interrupting)
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = interrupting ? 0 : SA_RESTART;
    sigaction(signal, &action, nullptr);
}

SignalNotifier::~SignalNotifier()
{
    m_notifier.reset();
    ::close(m_readEnd);
    // The handlers stay: a late signal goes into the still open write end.
}

void SignalNotifier::readPipe()
{
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(m_readEnd, numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit raised(numbers[i]);
    }
}
