#include "ReportingLink.h"

#include "ChildReporter.h"

bool ReportingLink::OpenPort()
{
    const bool opened = m_link.OpenPort();
    m_reporter.report(ChildEvent::Kind::PortOpen,
                      opened ? QStringLiteral("ok") : QStringLiteral("failed"));
    return opened;
}
