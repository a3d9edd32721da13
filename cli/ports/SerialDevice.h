#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// One serial device as the system lists it, with its USB identity where it
// has one. The tool works on a list of these, so that its listing and its
// choice of a device can be checked against made-up adapters.
struct SerialDevice {
    QString systemLocation; // /dev/ttyUSB0
    QString manufacturer;
    QString product;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    // The name under /dev/serial/by-id that follows this adapter from one USB
    // socket to another; empty when udev made none (built-in UARTs, some chips).
    QString stableName;

    // ttyUSB0
    QString portName() const;
};

using SerialDeviceList = std::function<QList<SerialDevice>()>;
