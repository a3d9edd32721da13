#include "SystemSerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QString SerialDevice::portName() const
{
    return QFileInfo(systemLocation).fileName();
}

QHash<QString, QString> stableNames(const QString &byIdFolder)
{
    QHash<QString, QString> names;
    const QDir folder(byIdFolder);
    // Sorted, so that of two names for one device (a chip listed twice by
    // udev) the same one is taken every time.
    for (const QFileInfo &entry :
         folder.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString device = entry.canonicalFilePath();
        if (!device.isEmpty() && !names.contains(device))
            names.insert(device, entry.absoluteFilePath());
    }
    return names;
}

QList<SerialDevice> systemSerialDevices(const QString &byIdFolder)
{
    const QHash<QString, QString> names = stableNames(byIdFolder);
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.systemLocation = port.systemLocation();
        device.manufacturer = port.manufacturer();
        device.product = port.description();
        device.serialNumber = port.serialNumber();
        if (port.hasVendorIdentifier())
            device.vendorId = port.vendorIdentifier();
        if (port.hasProductIdentifier())
            device.productId = port.productIdentifier();
        device.stableName =
            names.value(QFileInfo(device.systemLocation).canonicalFilePath(), QString());
        devices.append(device);
    }
    return devices;
}
