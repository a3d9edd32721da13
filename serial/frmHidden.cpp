#include "frmHidden.h"

#include "CommStuff.h"

frmHidden::frmHidden(CommStuff &module, std::unique_ptr<ByteDevice> device)
    : MSComm1(std::move(device)), m_module(module)
{
    // Not singleShot: like the form's timers, each one stays armed until its
    // event procedure disables it. Precise, because the waits are counted in
    // single milliseconds.
    for (QTimer *timer : {&TimerDelay, &TimerPortOpen, &TimerTimeout})
        timer->setTimerType(Qt::PreciseTimer);
    connect(&TimerDelay, &QTimer::timeout, this, &frmHidden::TimerDelay_Timer);
    connect(&TimerPortOpen, &QTimer::timeout, this, &frmHidden::TimerPortOpen_Timer);
    connect(&TimerTimeout, &QTimer::timeout, this, &frmHidden::TimerTimeout_Timer);
    Form_Load();
}

void frmHidden::Form_Load()
{
    TimerTimeout.stop();
    TimerPortOpen.stop();
    TimerPortOpen.setInterval(SerialLink::PortSettle);
}

void frmHidden::TimerDelay_Timer()
{
    TimerDelay.stop();
    m_module.DelayActive = false;
}

void frmHidden::TimerPortOpen_Timer()
{
    TimerPortOpen.stop();
    m_module.PortSettled = true;
}

void frmHidden::TimerTimeout_Timer()
{
    TimerTimeout.stop();
    m_module.TimeoutExpired = true;
}
