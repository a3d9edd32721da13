#include "FlashExit.h"

namespace {

bool reached(const UpdateTrace &trace, const QString &status)
{
    return trace.statuses.contains(status);
}

// The stage an update had reached when it ended without a verdict of its own.
int unfinished(const UpdateTrace &trace)
{
    if (reached(trace, QStringLiteral("Rebooting Veltrax")))
        return FlashExit::NoReboot;
    if (reached(trace, QStringLiteral("Resetting Defaults")))
        return FlashExit::NoReset;
    // The monitor may be erasing or half-way through the image.
    if (reached(trace, QStringLiteral("Waiting for Flash")))
        return FlashExit::ImageFailed;
    return trace.endedByUser ? FlashExit::Stopped : FlashExit::LinkFailed;
}

} // namespace

QString FlashExit::table()
{
    return QStringLiteral(
        "   0  all succeeded\n"
        "   1  usage error, the question answered no, or no terminal and no --yes;\n"
        "      nothing sent\n"
        "   2  no firmware file, or the file refused; nothing sent\n"
        "   3  port could not be opened\n"
        "   4  the monitor did not answer, or no prompt; nothing erased\n"
        "   5  the reboot after the update failed; the new firmware is in\n"
        "   6  the reset of defaults failed; the new firmware is in\n"
        "   7  stopped (Ctrl-C or the time limit) with \"Stopped by user!\"\n"
        "   8  communications error\n"
        "   9  flash erase failed or timed out\n"
        "  10  a line refused or not acknowledged, or verification failed; the\n"
        "      instrument is left without a good image\n");
}

int exitCodeFor(const UpdateTrace &trace)
{
    if (!trace.ended)
        return unfinished(trace);
    if (trace.portOpenFailed)
        return FlashExit::PortUnusable;
    const bool transferBegun = reached(trace, QStringLiteral("Attempting to reboot veltrax:..."));
    if (trace.messages.contains(QStringLiteral("Invalid File"))) {
        // Refused before the dialogue began, or unreadable half-way through.
        return reached(trace, QStringLiteral("Waiting for Flash")) ? FlashExit::ImageFailed
                                                                   : FlashExit::NoFirmware;
    }
    const QString last = trace.statuses.isEmpty() ? QString() : trace.statuses.last();
    if (last == QLatin1String("Update Successful"))
        return FlashExit::Success;
    if (last == QLatin1String("Error Rebooting Veltrax"))
        return FlashExit::NoReboot;
    if (last == QLatin1String("Error Reseting Veltrax Defaults"))
        return FlashExit::NoReset;
    if (last == QLatin1String("Stopped by user!"))
        return FlashExit::Stopped;
    if (last == QLatin1String("Communitcations error."))
        return FlashExit::LinkFailed;
    if (last == QLatin1String("Timeout waiting for flash... try again") ||
        last == QLatin1String("Failed to erase flash... try again"))
        return FlashExit::EraseFailed;
    if (last.startsWith(QLatin1String("Failed at line ")) ||
        last == QLatin1String("Timeout waiting for verification... try again") ||
        last.startsWith(QLatin1String("File sent UNsuccessfully!")))
        return FlashExit::ImageFailed;
    // No step of the update ran (the question was answered no).
    if (!transferBegun)
        return FlashExit::Refused;
    // The monitor was never entered: its waits name their own failure.
    if (!reached(trace, QStringLiteral("Got Prompt...")))
        return FlashExit::NoMonitor;
    return unfinished(trace);
}
