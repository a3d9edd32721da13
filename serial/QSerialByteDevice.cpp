#include "QSerialByteDevice.h"

#include "LineSettingsText.h"
#include "OpenFailure.h"
#include "PortLocator.h"
#include "SerialLog.h"
#include "UploaderError.h"

#include <algorithm>
#include <climits>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

QSerialPort::Parity toParity(char parity)
{
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    default:
        return QSerialPort::NoParity;
    }
}

// USB adapters hold received bytes back for up to 16 ms to fill a packet;
// the instrument answers byte by byte, so ask the driver to pass each one on
// at once. Pseudo-terminals and plain UARTs have no such setting.
void requestLowLatency([[maybe_unused]] QSerialPort &port)
{
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (::ioctl(port.handle(), TIOCGSERIAL, &serial) != 0)
        return;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(port.handle(), TIOCSSERIAL, &serial) != 0)
        qCDebug(lcSerial) << port.portName() << "keeps its receive latency";
#endif
}

// Straight to the device while the port holds nothing back. QSerialPort's own
// write arms its write notifier and disarms it when that fires, which wakes
// the event loop twice more for every write. Returns how many bytes went, or
// -1 when the device refused the write.
qsizetype writeDirectly([[maybe_unused]] QSerialPort &port,
                        [[maybe_unused]] const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    if (port.bytesToWrite() > 0)
        return 0; // behind what is queued, never before it
    for (;;) {
        const ssize_t written =
            ::write(port.handle(), bytes.constData(), static_cast<size_t>(bytes.size()));
        if (written >= 0)
            return static_cast<qsizetype>(written);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            return -1;
    }
#else
    return -1;
#endif
}

QString describeFailure(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
        return QStringLiteral("the device is gone or hung up");
    case QSerialPort::ReadError:
        return QStringLiteral("reading failed or the line was hung up");
    case QSerialPort::WriteError:
        return QStringLiteral("writing failed");
    default:
        return QStringLiteral("the port reported an error");
    }
}

} // namespace

QSerialByteDevice::QSerialByteDevice(const QString &programFolder, QObject *parent)
    : QSerialByteDevice(
          [programFolder](int commPort) { return systemPortName(commPort, programFolder); }, parent)
{
}

QSerialByteDevice::QSerialByteDevice(PortNaming naming, QObject *parent)
    : ByteDevice(parent), m_naming(std::move(naming))
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialByteDevice::onErrorOccurred);
}

QSerialByteDevice::~QSerialByteDevice()
{
    // The port's own destructor may still report errors; none must reach
    // members that are already gone.
    m_port.disconnect(this);
    m_open = false;
    m_port.close();
}

bool QSerialByteDevice::open(int commPort)
{
    close();
    m_failed = false;
    m_errorString.clear();

    // Messages name the device as it was named, never the port's name for it
    // (/dev/serial/by-id/... shows there as serial/by-id/...).
    m_location = m_naming(commPort);
    m_port.setPortName(m_location);
    if (!configurePort()) {
        m_errorString = QStringLiteral("%1: settings %2 refused: %3")
                            .arg(m_location, settingsText(m_settings), m_port.errorString());
        return false;
    }
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_errorString = QStringLiteral("%1: %2").arg(
            m_location, explainOpenFailure(m_location, m_port.error(), m_port.errorString()));
        return false;
    }
    requestLowLatency(m_port);
    m_open = true;
    return true;
}

void QSerialByteDevice::close()
{
    m_open = false;
    if (m_port.isOpen())
        m_port.close();
}

void QSerialByteDevice::applySettings(const LineSettings &settings)
{
    const LineSettings previous = m_settings;
    m_settings = settings;
    if (!configurePort()) {
        const QString reason = m_port.errorString();
        m_settings = previous;
        configurePort();
        throw UploaderError(
            ErrorCode::InvalidPropertyValue,
            QStringLiteral("%1 refuses %2: %3").arg(m_location, settingsText(settings), reason));
    }
}

bool QSerialByteDevice::configurePort()
{
    // Refused settings are answered by applySettings and open, not by marking
    // the line as failed.
    m_configuring = true;
    const bool ok = m_port.setBaudRate(m_settings.baud) &&
                    m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits)) &&
                    m_port.setParity(toParity(m_settings.parity)) &&
                    m_port.setStopBits(m_settings.stopBits == 2 ? QSerialPort::TwoStop
                                                                : QSerialPort::OneStop) &&
                    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_configuring = false;
    return ok;
}

int QSerialByteDevice::bytesWaiting() const
{
    if (!m_port.isOpen())
        return 0;
    return static_cast<int>(std::min<qint64>(m_port.bytesAvailable(), INT_MAX));
}

std::uint8_t QSerialByteDevice::takeByte()
{
    char byte = 0;
    m_port.getChar(&byte);
    return static_cast<std::uint8_t>(byte);
}

void QSerialByteDevice::writeByte(std::uint8_t byte)
{
    writeBytes(QByteArray(1, static_cast<char>(byte)));
}

void QSerialByteDevice::writeBytes(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return;
    const qsizetype sent = writeDirectly(m_port, bytes);
    if (sent == bytes.size())
        return;
    if (sent >= 0) {
        // The driver's buffer is full: the port's notifier sends the rest as
        // it drains. Flushing now would take the full buffer for a failure.
        m_port.write(bytes.constData() + sent, bytes.size() - sent);
        return;
    }
    // Refused, or no way to the device but the port's: the port writes it and
    // reports a failure its own way.
    m_port.write(bytes);
    m_port.flush();
}

void QSerialByteDevice::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !m_open ||
        m_configuring || m_failed)
        return;
    m_failed = true;
    m_errorString = QStringLiteral("%1: %2").arg(m_location, describeFailure(error));
    // A read that ends because the line was hung up leaves no system error of
    // its own, and the port then quotes a stale one.
    if (error != QSerialPort::ReadError)
        m_errorString += QStringLiteral(" (%1)").arg(m_port.errorString());
    qCWarning(lcSerial).noquote() << m_errorString;
    // A hung-up line keeps the port's notifier firing for as long as the port
    // stays open; let go of it, but only once the port has finished reporting.
    QMetaObject::invokeMethod(this, &QSerialByteDevice::releaseFailedPort, Qt::QueuedConnection);
}

void QSerialByteDevice::releaseFailedPort()
{
    if (m_failed && m_port.isOpen())
        m_port.close();
}
