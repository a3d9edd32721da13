#include "ChildEvent.h"

#include <array>
#include <utility>

namespace {

using Kind = ChildEvent::Kind;

constexpr std::array<std::pair<Kind, const char *>, 10> Names{{
    {Kind::Status, "status"},
    {Kind::Received, "received"},
    {Kind::Progress, "progress"},
    {Kind::Message, "message"},
    {Kind::Question, "question"},
    {Kind::PortOpen, "port"},
    {Kind::Stage, "stage"},
    {Kind::Stop, "stop"},
    {Kind::Warning, "warning"},
    {Kind::End, "end"},
}};

QByteArray escaped(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::optional<QByteArray> unescaped(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        const char c = text[i];
        if (c == '\\')
            out += '\\';
        else if (c == 'n')
            out += '\n';
        else if (c == 'r')
            out += '\r';
        else
            return std::nullopt;
    }
    return out;
}

} // namespace

QString stopReason(const QString &stopText)
{
    if (stopText == QLatin1String(StopBy::TimeLimit))
        return QStringLiteral("time limit");
    if (stopText == QLatin1String(StopBy::ParentGone))
        return QStringLiteral("veltrax-flash gone before the first ENQ");
    if (stopText == QLatin1String(StopBy::Terminated))
        return QStringLiteral("SIGTERM");
    return QStringLiteral("Ctrl-C");
}

QByteArray eventKindName(ChildEvent::Kind kind)
{
    for (const auto &[named, name] : Names) {
        if (named == kind)
            return name;
    }
    return {};
}

QByteArray encodeEvent(const ChildEvent &event)
{
    return eventKindName(event.kind) + ' ' + QByteArray::number(event.at) + ' ' +
           escaped(event.text.toUtf8()) + '\n';
}

std::optional<ChildEvent> decodeEvent(QByteArray line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
    if (second < 0)
        return std::nullopt;
    ChildEvent event;
    const QByteArray name = line.left(first);
    bool known = false;
    for (const auto &[kind, text] : Names) {
        if (name == text) {
            event.kind = kind;
            known = true;
        }
    }
    bool number = false;
    event.at = line.mid(first + 1, second - first - 1).toLongLong(&number);
    const std::optional<QByteArray> text = unescaped(line.mid(second + 1));
    if (!known || !number || !text)
        return std::nullopt;
    event.text = QString::fromUtf8(*text);
    return event;
}
