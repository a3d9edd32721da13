#include "CommStuff.h"

#include "MessageBoxService.h"
#include "SerialLog.h"
#include "UploaderError.h"
#include "frmHidden.h"

#include <QCoreApplication>
#include <algorithm>
#include <climits>

namespace {

// One pass of a wait: sleeps until something happens (a timer fires, bytes or
// a failure come from the port, the operator clicks) and handles it. An idle
// wait costs no processor time, and a byte is taken as soon as it arrives.
void waitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int timerInterval(std::chrono::milliseconds time)
{
    return static_cast<int>(std::min<std::chrono::milliseconds::rep>(time.count(), INT_MAX));
}

// Keeps a wait's timer from running on when the wait is left by a port
// failure instead of by its flag or a byte.
class TimerStopper {
public:
    explicit TimerStopper(QTimer &timer) : m_timer(timer) {}
    ~TimerStopper() { m_timer.stop(); }
    TimerStopper(const TimerStopper &) = delete;
    TimerStopper &operator=(const TimerStopper &) = delete;

private:
    QTimer &m_timer;
};

} // namespace

CommStuff::CommStuff(MessageBoxService &messages, DeviceFactory makeDevice)
    : m_messages(messages), m_makeDevice(std::move(makeDevice))
{
}

CommStuff::~CommStuff() = default;

frmHidden &CommStuff::hidden()
{
    if (!m_hidden)
        m_hidden = std::make_unique<frmHidden>(*this, m_makeDevice());
    return *m_hidden;
}

void CommStuff::Delay(std::chrono::milliseconds wait)
{
    frmHidden &form = hidden();
    // A timer without an interval never fires: a zero wait would never end.
    if (wait.count() <= 0) {
        processPendingEvents();
        return;
    }
    DelayActive = true;
    form.TimerDelay.setInterval(timerInterval(wait));
    form.TimerDelay.start();
    const TimerStopper stopper(form.TimerDelay);
    for (;;) {
        // A line that hangs up during a pause (5 s before the reset) ends the
        // dialogue now, not when the pause is over.
        form.MSComm1.throwIfLineFailed();
        if (!DelayActive)
            break;
        waitForEvents();
    }
    processPendingEvents();
}

void CommStuff::SetBaudRate(int baud)
{
    hidden().MSComm1.setSettings(QString::number(baud) + QStringLiteral(",N,8,1"));
}

void CommStuff::SendByte(std::uint8_t byte)
{
    SendBytes(QByteArray(1, static_cast<char>(byte)));
}

void CommStuff::SendBytes(const QByteArray &bytes)
{
    MSComm &port = hidden().MSComm1;
    if (bytes.isEmpty() || !port.PortOpen())
        return;
    port.Output(bytes);
}

int CommStuff::ReadByte(std::chrono::milliseconds timeout)
{
    frmHidden &form = hidden();
    MSComm &port = form.MSComm1;
    if (!port.PortOpen())
        return -1;

    // Without an interval the timer would never end the wait: take only what
    // has already come.
    if (timeout.count() <= 0) {
        processPendingEvents();
        return port.InBufferCount() > 0 ? static_cast<std::uint8_t>(port.Input().at(0)) : -1;
    }

    TimeoutExpired = false;
    // A byte already waiting is taken without starting the timer at all: a
    // reply read byte by byte costs no timer per byte.
    if (port.InBufferCount() > 0)
        return static_cast<std::uint8_t>(port.Input().at(0));
    form.TimerTimeout.setInterval(timerInterval(timeout));
    form.TimerTimeout.start();
    const TimerStopper stopper(form.TimerTimeout);
    for (;;) {
        // The time-out wins over a byte that lands in the same pass; the
        // byte stays for the next call.
        if (TimeoutExpired)
            return -1;
        if (port.InBufferCount() > 0)
            break;
        waitForEvents();
    }
    form.TimerTimeout.stop();
    return static_cast<std::uint8_t>(port.Input().at(0));
}

void CommStuff::FlushInput()
{
    MSComm &port = hidden().MSComm1;
    processPendingEvents();
    while (port.InBufferCount() > 0)
        port.Input();
}

bool CommStuff::SelectComPort(const int &port)
{
    MSComm &control = hidden().MSComm1;
    if (port == control.CommPort()) {
        ClosePort();
        return true;
    }
    // The number can only change while the port is closed.
    if (control.PortOpen())
        control.setPortOpen(false);
    control.setCommPort(port);
    const bool opened = OpenPort();
    ClosePort();
    return opened;
}

bool CommStuff::OpenPort()
{
    frmHidden &form = hidden();
    try {
        if (!form.MSComm1.PortOpen())
            form.MSComm1.setPortOpen(true);
    } catch (const UploaderError &error) {
        qCWarning(lcSerial).noquote() << error.description();
        m_messages.showOk(QStringLiteral("Could not open ") +
                          (m_portNameInMessages.isEmpty()
                               ? QStringLiteral("Com") + QString::number(form.MSComm1.CommPort())
                               : m_portNameInMessages));
        form.TimerPortOpen.stop();
        form.TimerPortOpen.setInterval(PortSettle);
        return false;
    }

    PortSettled = false;
    form.TimerPortOpen.start();
    while (!PortSettled)
        waitForEvents();
    form.TimerPortOpen.stop();
    return true;
}

bool CommStuff::ClosePort()
{
    try {
        MSComm &port = hidden().MSComm1;
        if (port.PortOpen())
            port.setPortOpen(false);
        return true;
    } catch (const UploaderError &error) {
        qCWarning(lcSerial).noquote() << error.description();
        return false;
    }
}
