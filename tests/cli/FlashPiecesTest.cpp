// veltrax-flash's pieces alone: the ending of an update whose process did not
// run it to its end, and the answer to the question on a terminal.
#include "TerminalMessages.h"
#include "UpdateEndings.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// Cut off mid-way, an update ends by the furthest stage it reached; whatever
// status it showed last was not its verdict.
TEST(UnfinishedUpdate, endsByTheStageItReached)
{
    const QString midWay = QStringLiteral("Sending file...");
    const struct {
        UpdateStage reached;
        UpdateEnd end;
        const UpdateEnding &ending;
    } rows[] = {
        {UpdateStage::NotStarted, UpdateEnd::Crashed, Ending::NotStarted},
        {UpdateStage::NotStarted, UpdateEnd::Stopped, Ending::NotStarted},
        {UpdateStage::Started, UpdateEnd::Stopped, Ending::Stopped},
        {UpdateStage::Started, UpdateEnd::Crashed, Ending::LineFailed},
        {UpdateStage::Erasing, UpdateEnd::Stopped, Ending::ImageFailed},
        {UpdateStage::Erasing, UpdateEnd::Crashed, Ending::ImageFailed},
        {UpdateStage::Verified, UpdateEnd::Crashed, Ending::NotReset},
        {UpdateStage::Rebooting, UpdateEnd::Stopped, Ending::NotRebooted},
    };
    for (const auto &row : rows) {
        const UpdateEnding &ending = endingOf(midWay, row.reached, row.end);
        EXPECT_EQ(ending.exitCode, row.ending.exitCode) << stageName(row.reached).toStdString();
        EXPECT_EQ(ending.instrument, row.ending.instrument);
    }
}

// Only a whole line answers: the end of input, a read error or a hang-up
// half-way through a word is No, never the default Yes.
TEST(TerminalQuestion, onlyAWholeLineAnswers)
{
    const struct {
        const char *typed;
        bool yes;
    } rows[] = {
        {"\n", true}, {"y\n", true}, {" YES \n", true}, {"n\n", false}, {"yes please\n", false},
        {"", false},  {"y", false},  {nullptr, false}, // read error
    };
    for (const auto &row : rows) {
        char typed[16] = {};
        std::snprintf(typed, sizeof typed, "%s", row.typed ? row.typed : "");
        // Nothing typed: an empty stream; a read error: a stream open only for writing.
        std::FILE *in = !row.typed    ? std::fopen("/dev/null", "w")
                        : !*row.typed ? std::fopen("/dev/null", "r")
                                      : ::fmemopen(typed, std::strlen(typed), "r");
        char shown[512] = {};
        std::FILE *out = ::fmemopen(shown, sizeof shown, "w");
        EXPECT_EQ(TerminalMessages(in, out).askYesNo(QStringLiteral("Update?")), row.yes)
            << '"' << typed << '"';
        std::fclose(in);
        std::fclose(out);
        EXPECT_EQ(std::string(shown).rfind("Update? [Y/n] ", 0), 0u) << shown;
    }
}

} // namespace
