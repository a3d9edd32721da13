#include "DeviceChoice.h"

#include "UploaderError.h"

#include <QFileInfo>

namespace {

bool names(const SerialDevice &device, const QString &which, const QString &whichResolved)
{
    if (which == device.systemLocation || which == device.portName() ||
        (!device.serialNumber.isEmpty() && which == device.serialNumber))
        return true;
    if (!device.stableName.isEmpty() &&
        (which == device.stableName || which == QFileInfo(device.stableName).fileName()))
        return true;
    return !whichResolved.isEmpty() &&
           whichResolved == QFileInfo(device.systemLocation).canonicalFilePath();
}

} // namespace

SerialDevice chooseDevice(const QList<SerialDevice> &devices, const QString &which)
{
    // Only an absolute path is looked up on disk: a serial number must not
    // turn into a file of the current folder.
    const QString resolved =
        which.startsWith(QLatin1Char('/')) ? QFileInfo(which).canonicalFilePath() : QString();
    QList<SerialDevice> fitting;
    for (const SerialDevice &device : devices)
        if (names(device, which, resolved))
            fitting.append(device);

    if (fitting.isEmpty())
        throw UploaderError(
            ErrorCode::FileNotFound,
            QStringLiteral("no serial device \"%1\" is plugged in; give a device, a "
                           "/dev/serial/by-id name or a serial number as "
                           "veltrax-ports lists them")
                .arg(which));
    if (fitting.size() > 1) {
        QStringList candidates;
        for (const SerialDevice &device : fitting)
            candidates << device.systemLocation;
        // An adapter with several ports has one serial number for all of them.
        throw UploaderError(ErrorCode::InvalidArgument,
                            QStringLiteral("\"%1\" fits %2 devices (%3); name one of them by its "
                                           "/dev/serial/by-id name")
                                .arg(which)
                                .arg(fitting.size())
                                .arg(candidates.join(QStringLiteral(", "))));
    }
    return fitting.first();
}
