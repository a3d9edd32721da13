#include "ChildMessages.h"

#include "ChildReporter.h"
#include "UpdateQuestion.h"

void ChildMessages::showOk(const QString &prompt)
{
    m_reporter.report(ChildEvent::Kind::Message, prompt);
}

bool ChildMessages::askYesNo(const QString &prompt)
{
    if (prompt != UpdateQuestion) {
        // Nobody has answered this one: No.
        m_reporter.report(ChildEvent::Kind::Warning,
                          QStringLiteral("unasked question answered No: ") + prompt);
        return false;
    }
    m_reporter.report(ChildEvent::Kind::Question, prompt);
    return true;
}
