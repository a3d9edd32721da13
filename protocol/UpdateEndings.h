#pragma once

#include <QString>
#include <array>
#include <optional>

// How far an update got, in the instrument's terms. The boundaries are where
// its state changes: the monitor may begin erasing on the first set-up ENQ,
// and the verdict "CODE OK" means the new image is whole in the flash.
enum class UpdateStage {
    NotStarted, // nothing sent: the port not opened, or the file refused
    Started,    // the dialogue has begun; the flash is untouched
    Erasing,    // from the first ENQ: the old image may be gone
    Verified,   // the verdict: the new image is in
    Rebooting,  // "Rebooting Veltrax" shown
    Done,
};

// What the instrument holds after the update.
enum class InstrumentState { Unchanged, Erased, Updated };

// One way an update can end: the furthest stage it belongs to, what ended it,
// the exit status the command line gives it, and the instrument's state.
struct UpdateEnding {
    UpdateStage stage;
    const char *what;
    int exitCode;
    InstrumentState instrument;

    friend bool operator==(const UpdateEnding &a, const UpdateEnding &b)
    {
        return a.exitCode == b.exitCode;
    }
};

// Every ending of an update, the one table the exit status, the report and
// the transcripts are made from. Codes 1 and 2 are the command line's own
// refusals, before any update begins.
namespace Ending {
inline constexpr UpdateEnding NotStarted{UpdateStage::NotStarted,
                                         "could not start, or ended before its port opened", 3,
                                         InstrumentState::Unchanged};
inline constexpr UpdateEnding NoMonitor{UpdateStage::Started, "no monitor or no prompt", 4,
                                        InstrumentState::Unchanged};
inline constexpr UpdateEnding Stopped{UpdateStage::Started, "Stop or the time limit", 7,
                                      InstrumentState::Unchanged};
inline constexpr UpdateEnding LineFailed{UpdateStage::Started,
                                         "line failure (hang-up, unplug, communications error)", 8,
                                         InstrumentState::Unchanged};
inline constexpr UpdateEnding EraseFailed{
    UpdateStage::Erasing, "the flash erase failed or timed out", 9, InstrumentState::Erased};
inline constexpr UpdateEnding ImageFailed{
    UpdateStage::Erasing,
    "no good image: a NAK, a bad reply byte, \"CODE BAD\", Stop, the time limit, a line "
    "failure, a crash or kill of the update process",
    10, InstrumentState::Erased};
inline constexpr UpdateEnding NotReset{UpdateStage::Verified,
                                       "ended before \"Rebooting Veltrax\" was shown", 6,
                                       InstrumentState::Updated};
inline constexpr UpdateEnding NotRebooted{UpdateStage::Rebooting,
                                          "ended after \"Rebooting Veltrax\" was shown", 5,
                                          InstrumentState::Updated};
inline constexpr UpdateEnding Succeeded{UpdateStage::Done, "success", 0, InstrumentState::Updated};

inline constexpr std::array All{Succeeded, NotStarted, NoMonitor,   NotRebooted, NotReset,
                                Stopped,   LineFailed, EraseFailed, ImageFailed};
} // namespace Ending

// How the update's process ended, where no status fixes the ending.
enum class UpdateEnd {
    Ended,   // the dialogue ran to its end
    Stopped, // cut short at the person's request or by the time limit
    Crashed, // the process died or was killed otherwise
};

// The ending of an update that showed `lastStatus` last and reached
// `furthest`. Where the status names the failure ("Failed at line 3 (NAK)"),
// it decides; otherwise ("Stopped by user!", "Communitcations error.", or an
// update cut off mid-way) the stage reached does.
const UpdateEnding &endingOf(const QString &lastStatus, UpdateStage furthest, UpdateEnd end);

// The names the transcripts and the report use: "erasing", "updated".
QString stageName(UpdateStage stage);
std::optional<UpdateStage> stageNamed(const QString &name);
QString instrumentName(InstrumentState state);
