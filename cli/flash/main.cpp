// veltrax-flash: the firmware update of the Veltrax Firmware Uploader from
// the command line, for scripts and for benches of instruments.
#include "CheckCommand.h"
#include "FlashExit.h"
#include "FlashOptions.h"
#include "FlashRun.h"
#include "UpdateChild.h"
#include "VeltraxVersion.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Qt's own event loop rather than GLib's, here and in the update processes
    // (which run this same main): the tool serves no GLib sources, and an update
    // process wakes for every line's ACK, which GLib's loop makes dearer by
    // about 20 µs of processor time a line (veltrax-flash-bench).
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    // A reader of the JSON lines that goes away must not take the updates with it.
    std::signal(SIGPIPE, SIG_IGN);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String(ChildModeOption)) {
        const std::optional<ChildSettings> settings = parseChildArguments(arguments.mid(1));
        return settings ? runUpdateChild(*settings) : 64;
    }

    const FlashOptionsResult parsed = parseFlashOptions(arguments);
    if (parsed.options.help) {
        std::fputs(flashUsage().toLocal8Bit().constData(), stdout);
        return FlashExit::Success;
    }
    if (parsed.options.version) {
        std::fputs("veltrax-flash " VELTRAX_VERSION "\n", stdout);
        return FlashExit::Success;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "veltrax-flash: %s\nTry veltrax-flash --help.\n",
                     parsed.error.toLocal8Bit().constData());
        return FlashExit::Refused;
    }
    return parsed.options.check ? runCheck(parsed.options) : runFlash(parsed.options);
}
