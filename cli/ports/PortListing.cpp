#include "PortListing.h"

#include "PortLocator.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

QString usbId(const SerialDevice &device)
{
    const auto hex = [](std::optional<quint16> id) {
        return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QStringLiteral("?");
    };
    return hex(device.vendorId) + QLatin1Char(':') + hex(device.productId);
}

void listDevice(QTextStream &out, const SerialDevice &device, const QList<ComPortTarget> &targets)
{
    out << "  " << device.systemLocation << '\n';
    const auto field = [&out](const char *name, const QString &value) {
        if (!value.isEmpty())
            out << "    " << qSetFieldWidth(10) << Qt::left << name << qSetFieldWidth(0) << value
                << '\n';
    };
    const bool usb = device.vendorId || device.productId || !device.serialNumber.isEmpty();
    field("maker", device.manufacturer);
    field("product", device.product);
    field("serial", device.serialNumber);
    field("USB id", usb ? usbId(device) : QString());
    if (!usb && device.manufacturer.isEmpty() && device.product.isEmpty())
        out << "    (no USB identity)\n";
    field("stable", device.stableName.isEmpty()
                        ? QStringLiteral("none: a link to it names %1, which can change")
                              .arg(device.systemLocation)
                        : device.stableName);
    QStringList linkedAs;
    const QString location = QFileInfo(device.systemLocation).canonicalFilePath();
    for (int index = 0; index < targets.size(); ++index)
        if (targets[index].source != ComPortTarget::Source::BuiltIn && targets[index].present &&
            !location.isEmpty() && targets[index].opens == location)
            linkedAs << QStringLiteral("COM%1").arg(index + 1);
    field("linked as", linkedAs.join(QStringLiteral(", ")));
}

void listEntry(QTextStream &out, int commPort, const ComPortTarget &target)
{
    out << "  COM" << commPort;
    if (target.source == ComPortTarget::Source::Entry) {
        out << " is not a link: the program opens " << target.opens << " as it is";
        if (!target.notSerial.isEmpty())
            out << " (not a serial device: it is " << target.notSerial << ")";
        out << '\n';
        return;
    }
    out << " -> " << target.linkTarget;
    if (!target.notSerial.isEmpty())
        out << " (not a serial device: " << target.opens << " is " << target.notSerial << ")\n";
    else if (!target.present)
        out << " (not present)\n";
    else if (target.opens != target.linkTarget)
        out << " (present, " << target.opens << ")\n";
    else
        out << " (present)\n";
}

} // namespace

QString listPorts(const QList<SerialDevice> &devices, const QString &folder)
{
    QString text;
    QTextStream out(&text);
    const QList<ComPortTarget> targets = locateComPorts(MenuComPorts, folder);

    out << "Serial devices:";
    if (devices.isEmpty())
        out << " none found";
    out << '\n';
    for (const SerialDevice &device : devices)
        listDevice(out, device, targets);

    out << "\nCOM ports in " << folder << ":\n";
    int entries = 0;
    for (int index = 0; index < targets.size(); ++index) {
        if (targets[index].source == ComPortTarget::Source::BuiltIn)
            continue;
        listEntry(out, index + 1, targets[index]);
        ++entries;
    }
    // The window falls back to the built-in ports; veltrax-flash does not guess.
    if (entries == 0)
        out << "  no COMn links: in the window every COMn opens /dev/ttyS<n-1>; veltrax-flash "
               "takes only linked ones\n";
    else if (entries < MenuComPorts)
        out << "  in the window every other COMn opens /dev/ttyS<n-1>; veltrax-flash takes only "
               "linked ones\n";
    return text;
}
