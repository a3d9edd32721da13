#include "UpdateEndings.h"

#include <utility>

namespace {

// The statuses that name their failure, with the ending each fixes. The texts
// are the dialogue's own (DialoguePrimitives.cpp, FirmwareTransfer.cpp,
// UpdateSequence.cpp); a prefix stands for texts that carry a line number or
// a reason.
struct FixedBy {
    const char *text;
    bool prefix;
    const UpdateEnding &ending;
};
const FixedBy Fixing[] = {
    {"Update Successful", false, Ending::Succeeded},
    {"Error Rebooting Veltrax", false, Ending::NotRebooted},
    {"Error Reseting Veltrax Defaults", false, Ending::NotReset},
    {"Did not got boot (reboot)!", false, Ending::NoMonitor},
    {"Did not get boot (reboot)!", false, Ending::NoMonitor},
    {"Timeout waiting for \"MON: \"!", false, Ending::NoMonitor},
    {"Did not get \"MON: \"!", false, Ending::NoMonitor},
    {"Timeout waiting for flash... try again", false, Ending::EraseFailed},
    {"Failed to erase flash... try again", false, Ending::EraseFailed},
    {"Failed at line ", true, Ending::ImageFailed},
    {"Timeout waiting for verification... try again", false, Ending::ImageFailed},
    {"File sent UNsuccessfully! ", true, Ending::ImageFailed},
};

constexpr std::pair<UpdateStage, const char *> StageNames[] = {
    {UpdateStage::NotStarted, "not started"}, {UpdateStage::Started, "started"},
    {UpdateStage::Erasing, "erasing"},        {UpdateStage::Verified, "verified"},
    {UpdateStage::Rebooting, "rebooting"},    {UpdateStage::Done, "done"},
};

} // namespace

const UpdateEnding &endingOf(const QString &lastStatus, UpdateStage furthest, UpdateEnd end)
{
    if (end == UpdateEnd::Ended) {
        for (const FixedBy &fixed : Fixing) {
            const QLatin1String text(fixed.text);
            if (fixed.prefix ? lastStatus.startsWith(text) : lastStatus == text)
                return fixed.ending;
        }
        if (lastStatus == QLatin1String("Stopped by user!"))
            end = UpdateEnd::Stopped;
    }
    switch (furthest) {
    case UpdateStage::NotStarted:
        return Ending::NotStarted;
    case UpdateStage::Started:
        return end == UpdateEnd::Stopped ? Ending::Stopped : Ending::LineFailed;
    case UpdateStage::Erasing:
        return Ending::ImageFailed;
    case UpdateStage::Verified:
        return Ending::NotReset;
    case UpdateStage::Rebooting:
    case UpdateStage::Done:
        return Ending::NotRebooted;
    }
    return Ending::LineFailed;
}

QString stageName(UpdateStage stage)
{
    for (const auto &[named, name] : StageNames) {
        if (named == stage)
            return QLatin1String(name);
    }
    return {};
}

std::optional<UpdateStage> stageNamed(const QString &name)
{
    for (const auto &[stage, text] : StageNames) {
        if (name == QLatin1String(text))
            return stage;
    }
    return std::nullopt;
}

QString instrumentName(InstrumentState state)
{
    switch (state) {
    case InstrumentState::Unchanged:
        return QStringLiteral("unchanged");
    case InstrumentState::Erased:
        return QStringLiteral("erased");
    case InstrumentState::Updated:
        return QStringLiteral("updated");
    }
    return {};
}
