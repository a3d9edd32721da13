#include "FlashOptions.h"

#include "FlashExit.h"

#include <functional>
#include <map>
#include <optional>

namespace {

QString valueError(const QString &option, const QString &problem)
{
    return option + QStringLiteral(": ") + problem;
}

} // namespace

FlashOptionsResult parseFlashOptions(const QStringList &arguments)
{
    FlashOptionsResult result;
    FlashOptions &o = result.options;
    using Valued = std::function<QString(const QString &)>; // an error, or empty
    const std::map<QString, std::function<void()>> flags = {
        {QStringLiteral("--yes"), [&] { o.yes = true; }},
        {QStringLiteral("--json"), [&] { o.json = true; }},
        {QStringLiteral("--help"), [&] { o.help = true; }},
        {QStringLiteral("-h"), [&] { o.help = true; }},
        {QStringLiteral("--version"), [&] { o.version = true; }},
        {QStringLiteral("--quiet"), [&] { o.quiet = true; }},
        {QStringLiteral("--check"), [&] { o.check = true; }},
    };
    const std::map<QString, Valued> valued = {
        {QStringLiteral("--port"),
         [&](const QString &v) {
             o.ports << v;
             return QString();
         }},
        {QStringLiteral("--firmware"),
         [&](const QString &v) {
             o.firmware = v;
             return QString();
         }},
        {QStringLiteral("--folder"),
         [&](const QString &v) {
             o.folder = v;
             return QString();
         }},
        {QStringLiteral("--log"),
         [&](const QString &v) {
             o.logDir = v;
             return QString();
         }},
        {QStringLiteral("--timeout"),
         [&](const QString &v) {
             bool ok = false;
             o.timeoutSeconds = v.toInt(&ok, 10);
             if (!ok || o.timeoutSeconds < 1 || o.timeoutSeconds > MaxTimeoutSeconds)
                 return QStringLiteral("\"%1\" is not a number of seconds from 1 to %2")
                     .arg(v)
                     .arg(MaxTimeoutSeconds);
             return QString();
         }},
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> attached;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith("--") && equals > 0) {
            attached = name.mid(equals + 1);
            name.truncate(equals);
        }
        if (const auto flag = flags.find(name); flag != flags.end() && !attached) {
            flag->second();
            continue;
        }
        const auto option = valued.find(name);
        if (option == valued.end()) {
            result.error = arguments[i] + QStringLiteral(": unknown option");
            return result;
        }
        if (!attached && i + 1 >= arguments.size()) {
            result.error = valueError(name, QStringLiteral("needs a value"));
            return result;
        }
        const QString value = attached ? *attached : arguments[++i];
        if (value.isEmpty()) {
            result.error = valueError(name, QStringLiteral("needs a value"));
            return result;
        }
        if (const QString problem = option->second(value); !problem.isEmpty()) {
            result.error = valueError(name, problem);
            return result;
        }
    }
    if (o.help || o.version)
        return result;
    if (o.check && !o.ports.isEmpty())
        result.error = QStringLiteral("--check opens no port: give it without --port");
    else if (!o.check && o.ports.isEmpty())
        result.error = QStringLiteral("give at least one --port");
    return result;
}

QString flashUsage()
{
    return QStringLiteral(
               "Usage: veltrax-flash [OPTION]... --port PORT [--port PORT]...\n"
               "  or:  veltrax-flash --check [--firmware FILE] [--folder DIR] [--json]\n"
               "  or:  veltrax-flash --help | --version\n"
               "\n"
               "Updates the firmware of Veltrax instruments over their serial lines, with the\n"
               "same dialogue as the Veltrax Firmware Uploader's \"Send File\". With several\n"
               "ports the instruments are updated at once, each by a process of its own.\n"
               "\n"
               "  --port PORT        COMn (the COMn link in the folder; a COMn without one is\n"
               "                     refused) or an absolute device path such as /dev/ttyS0\n"
               "                     or /dev/serial/by-id/...; repeat for more instruments,\n"
               "                     each on its own device\n"
               "  --firmware FILE    the firmware file (default: the newest\n"
               "                     veltrax_MMDDYYYY.hex in the folder)\n"
               "  --folder DIR       where COMn links and firmware files are found (default:\n"
               "                     the current folder when it holds hexcfg.dat, a COMn\n"
               "                     link or a firmware file, else ~/Veltrax where it\n"
               "                     exists, else the current folder)\n"
               "  --yes              do not ask; without it the update question is asked\n"
               "                     once for all ports on the controlling terminal, and\n"
               "                     without one nothing is sent\n"
               "  --timeout SECONDS  time limit of each instrument's whole update, after which\n"
               "                     it is stopped as by the Stop button (default 600); after\n"
               "                     the verification the update always runs to its end\n"
               "  --log DIR          one transcript per instrument in DIR\n"
               "  --json             one JSON line per instrument on standard output: port,\n"
               "                     device, firmware, sha256, result, status, exit_code,\n"
               "                     instrument, lines_sent, seconds, version\n"
               "  --quiet            no progress on standard error; errors and each\n"
               "                     instrument's ending are still printed\n"
               "  --check            only check the firmware file the update would send, and\n"
               "                     print its name, lines, data bytes, address ranges and\n"
               "                     SHA-256 (with --json as one JSON object); opens no port;\n"
               "                     exit 0 when it would be sent, 2 with the reason when not\n"
               "  --version          the program's name and version\n"
               "\n"
               "The firmware file is checked once, before anything is sent; every instrument\n"
               "receives the same checked bytes. Ctrl-C presses Stop on every instrument; a\n"
               "second Ctrl-C ends at once. A hang-up of the terminal stops nothing: every\n"
               "update runs to its end, and the result still goes to --log and --json.\n"
               "Progress and messages go to standard error.\n"
               "\n"
               "Exit status (with several ports, the highest):\n") +
           FlashExit::table();
}
