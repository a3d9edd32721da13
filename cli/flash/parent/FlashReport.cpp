#include "FlashReport.h"

#include "VeltraxVersion.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

QByteArray jsonLine(const FlashReport &r)
{
    // In this order, the order they are documented in.
    return "{\"port\":" + jsonString(r.port) + ",\"device\":" + jsonString(r.device) +
           ",\"firmware\":" + jsonString(r.firmware) + ",\"sha256\":" + jsonString(r.sha256) +
           ",\"result\":" +
           (!r.started ? "\"not started\"" : r.exitCode == 0 ? "\"success\"" : "\"failure\"") +
           ",\"status\":" + jsonString(r.status) +
           ",\"exit_code\":" + QByteArray::number(r.exitCode) +
           ",\"instrument\":" + jsonString(r.instrument) +
           ",\"lines_sent\":" + QByteArray::number(r.linesSent) +
           ",\"seconds\":" + QByteArray::number(r.seconds, 'f', 3) +
           ",\"version\":\"" VELTRAX_VERSION "\"}";
}
