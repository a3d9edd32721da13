#include "UpdateEndings.h"

#include "StatusTexts.h"

#include <utility>

namespace {

// The statuses that name their failure, with the ending each fixes; a prefix
// stands for texts that carry a line number or a reason. The two prompt texts
// are those WaitForText makes for "MON: ".
struct FixedBy {
    const char *text;
    bool prefix;
    const UpdateEnding &ending;
};
const FixedBy Fixing[] = {
    {Status::UpdateSuccessful, false, Ending::Succeeded},
    {Status::RebootFailed, false, Ending::NotRebooted},
    {Status::ResetFailed, false, Ending::NotReset},
    {Status::NoBootAtEntry, false, Ending::NoMonitor},
    {Status::NoBootAfterReboot, false, Ending::NoMonitor},
    {"Timeout waiting for \"MON: \"!", false, Ending::NoMonitor},
    {"Did not get \"MON: \"!", false, Ending::NoMonitor},
    {Status::FlashTimedOut, false, Ending::EraseFailed},
    {Status::FlashFailed, false, Ending::EraseFailed},
    {Status::FailedAtLine, true, Ending::ImageFailed},
    {Status::VerificationTimedOut, false, Ending::ImageFailed},
    {Status::SentUnsuccessfully, true, Ending::ImageFailed},
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
        if (lastStatus == QLatin1String(Status::StoppedByUser))
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
