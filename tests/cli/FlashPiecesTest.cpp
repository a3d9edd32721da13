// The exit status of an update, from the statuses and boxes it showed.
#include "FlashExit.h"

#include <gtest/gtest.h>

namespace {

enum class End { Ended, PortNotOpened, Crashed, KilledByUser };

TEST(FlashExitStatus, eachEndOfAnUpdateHasItsCode)
{
    const QStringList entered{"Attempting to reboot veltrax:...",
                              "Waiting for ACK or boot...",
                              "Waiting for boot...",
                              "Waiting for \"MON: \"...",
                              "Got Prompt...",
                              "Setting up... (ENQ1)"};
    const QStringList flashing = entered + QStringList{"Waiting for Flash"};
    const QStringList sent =
        flashing + QStringList{"Setting up... (ENQ2)", "Sending file...",
                               "File sent, waiting for verification...",
                               "File sent successfully! (Got Verification)", "Resetting Defaults"};
    const QStringList rebooting = sent + QStringList{"Reset OK", "Rebooting Veltrax"};
    const QStringList sending = sent.mid(0, 9);
    const auto then = [](QStringList before, const char *last) { return before << last; };
    const struct {
        QStringList statuses; // every text the status line took
        const char *box;      // the OK box shown; "": none
        End end;
        int exitCode;
    } rows[] = {
        // clang-format off
        {{}, "", End::Ended, 1}, // answered no
        {{}, "Invalid File", End::Ended, 2},
        {{"Communitcations error."}, "Could not open Com3", End::PortNotOpened, 3},
        {{"Attempting to reboot veltrax:...", "Did not got boot (reboot)!"}, "", End::Ended, 4},
        {then(rebooting, "Error Rebooting Veltrax"), "", End::Ended, 5},
        {then(sent, "Error Reseting Veltrax Defaults"), "", End::Ended, 6},
        {then(sending, "Stopped by user!"), "", End::Ended, 7},
        {then(entered.mid(0, 2), "Communitcations error."), "", End::Ended, 8},
        {then(flashing, "Timeout waiting for flash... try again"), "", End::Ended, 9},
        {sending, "Invalid File", End::Ended, 10}, // unreadable half-way through
        // Never ended: by the furthest stage reached.
        {entered, "", End::Crashed, 8},
        {entered, "", End::KilledByUser, 7},
        {sending, "", End::Crashed, 10},
        {rebooting, "", End::KilledByUser, 5},
        // clang-format on
    };
    for (const auto &row : rows) {
        const UpdateTrace trace{row.statuses, *row.box ? QStringList{row.box} : QStringList(),
                                row.end == End::PortNotOpened,
                                row.end == End::Ended || row.end == End::PortNotOpened,
                                row.end == End::KilledByUser};
        EXPECT_EQ(exitCodeFor(trace), row.exitCode)
            << row.statuses.join(" / ").toStdString() << " " << row.box << " " << int(row.end);
    }
}

} // namespace
