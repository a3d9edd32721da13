#pragma once

#include "MSComm.h"

#include <QObject>
#include <QTimer>
#include <memory>

class CommStuff;

// The hidden form: never shown, created by CommStuff on first use and kept
// until the program ends. It owns the port control and the three one-shot
// timers; each timer's event procedure stops its timer, then sets its flag in
// CommStuff, which is what ends the matching wait.
class frmHidden : public QObject {
    Q_OBJECT
public:
    // Runs Form_Load.
    frmHidden(CommStuff &module, std::unique_ptr<ByteDevice> device);

    MSComm MSComm1;
    QTimer TimerDelay;    // ends a Delay
    QTimer TimerPortOpen; // ends the settling wait of OpenPort; always PortSettle
    QTimer TimerTimeout;  // ends a ReadByte wait

    void TimerDelay_Timer();
    void TimerPortOpen_Timer();
    void TimerTimeout_Timer();

private:
    void Form_Load();

    CommStuff &m_module;
};
