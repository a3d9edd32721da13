#include "PortsCommand.h"

#include "ComLink.h"
#include "DeviceChoice.h"
#include "PortListing.h"
#include "PortLocator.h"
#include "ToolFolder.h"
#include "UploaderError.h"
#include "VeltraxVersion.h"

#include <QRegularExpression>
#include <QTextStream>

namespace {

const char Usage[] = R"(Usage: veltrax-ports [list] [--folder DIR]
  or:  veltrax-ports link N DEVICE [--folder DIR]

Lists the serial devices with their USB identity (maker, product, serial
number, VID:PID) and their stable /dev/serial/by-id name, and shows where
each COMn link of the program folder leads.

"link N DEVICE" makes COMn of the program folder a link to DEVICE's stable
name, so that picking COMn in the uploader opens that adapter in whichever
USB socket it is plugged. DEVICE is a device path (/dev/ttyUSB0), a
/dev/serial/by-id name or a USB serial number. An existing COMn link is
replaced; a COMn that is not a link is left alone.

  --folder DIR   the program folder (default: the current folder when it
                 holds hexcfg.dat, a COMn link or a firmware file, else
                 ~/Veltrax where it exists, else the current folder)
  -h, --help     this text
  --version      the program's name and version
)";

struct Request {
    enum class Action { List, Link, Help, Version } action = Action::List;
    QString folder;
    int commPort = 0;
    QString device;
};

class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

int portNumber(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(?:COM)?([0-9]{1,2})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (number < 1 || number > MenuComPorts)
        throw UsageError(QStringLiteral("\"%1\" is not a port from 1 to %2")
                             .arg(text, QString::number(MenuComPorts)));
    return number;
}

Request parse(const QStringList &arguments)
{
    Request request;
    QStringList words;
    for (int index = 0; index < arguments.size(); ++index) {
        const QString &argument = arguments[index];
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            request.action = Request::Action::Help;
            return request;
        }
        if (argument == QLatin1String("--version")) {
            request.action = Request::Action::Version;
            return request;
        }
        if (argument == QLatin1String("--folder")) {
            if (++index == arguments.size() || arguments[index].isEmpty())
                throw UsageError(QStringLiteral("--folder needs a folder"));
            request.folder = arguments[index];
        } else if (argument.startsWith(QLatin1String("--folder="))) {
            request.folder = argument.mid(9);
            if (request.folder.isEmpty())
                throw UsageError(QStringLiteral("--folder needs a folder"));
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            throw UsageError(QStringLiteral("unknown option %1").arg(argument));
        } else {
            words << argument;
        }
    }
    if (words.isEmpty() || (words.first() == QLatin1String("list") && words.size() == 1))
        return request;
    if (words.first() != QLatin1String("link"))
        throw UsageError(QStringLiteral("unknown command \"%1\"").arg(words.first()));
    if (words.size() != 3)
        throw UsageError(QStringLiteral("link takes a port number and a device"));
    request.action = Request::Action::Link;
    request.commPort = portNumber(words[1]);
    request.device = words[2];
    return request;
}

ToolFolder programFolder(const Request &request, const PortsEnvironment &environment)
{
    const ToolFolder folder =
        chooseToolFolder(request.folder, environment.currentFolder, environment.home);
    if (!folder.error.isEmpty())
        throw UploaderError(ErrorCode::PathNotFound, folder.error);
    return folder;
}

void link(const Request &request, const QString &folder, const PortsEnvironment &environment,
          QTextStream &out, QTextStream &err)
{
    const SerialDevice device = chooseDevice(environment.devices(), request.device);
    const ComLinkResult made = makeComLink(request.commPort, device, folder);
    if (made.bareDevicePath)
        err << "veltrax-ports: warning: " << device.systemLocation
            << " has no stable /dev/serial/by-id name, so COM" << request.commPort
            << " links the device path itself; it can lead to another adapter once adapters "
               "are plugged in again in another order\n";
    out << "COM" << request.commPort << " -> " << made.target;
    if (made.target != device.systemLocation)
        out << " (now " << device.systemLocation << ")";
    out << '\n';
    if (made.previous == made.target)
        out << "  unchanged: it led there already\n";
    else if (!made.previous.isEmpty())
        out << "  replaces the link to " << made.previous << '\n';
}

} // namespace

int runPortsCommand(const QStringList &arguments, const PortsEnvironment &environment,
                    QTextStream &out, QTextStream &err)
{
    Request request;
    try {
        request = parse(arguments);
    } catch (const UsageError &usage) {
        err << "veltrax-ports: " << usage.what() << "\n\n" << Usage;
        return 2;
    }
    if (request.action == Request::Action::Help) {
        out << Usage;
        return 0;
    }
    if (request.action == Request::Action::Version) {
        out << "veltrax-ports " VELTRAX_VERSION "\n";
        return 0;
    }
    try {
        const ToolFolder folder = programFolder(request, environment);
        out << "Program folder: " << folder.path << " (" << folder.why << ")\n";
        if (request.action == Request::Action::Link)
            link(request, folder.path, environment, out, err);
        else
            out << '\n' << listPorts(environment.devices(), folder.path);
        return 0;
    } catch (const UploaderError &failure) {
        out.flush();
        err << "veltrax-ports: " << failure.description() << '\n';
        return 1;
    }
}
