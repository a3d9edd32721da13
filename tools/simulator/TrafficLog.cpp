#include "TrafficLog.h"

#include <cstdio>
#include <stdexcept>

namespace {

std::string byteText(std::uint8_t byte)
{
    char text[8];
    if (byte >= 0x20 && byte < 0x7F)
        std::snprintf(text, sizeof text, "%02X '%c'", byte, byte);
    else
        std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

} // namespace

TrafficLog::TrafficLog(const std::string &path)
{
    if (path.empty())
        return;
    m_file.open(path, std::ios::out | std::ios::trunc);
    if (!m_file)
        throw std::runtime_error("cannot create log " + path);
}

void TrafficLog::received(SimTime at, std::uint8_t byte)
{
    entry(at, "RX", byteText(byte));
}

void TrafficLog::sent(SimTime at, std::uint8_t byte)
{
    entry(at, "TX", byteText(byte));
}

void TrafficLog::note(SimTime at, const std::string &text)
{
    entry(at, "--", text);
}

void TrafficLog::entry(SimTime at, const char *kind, const std::string &text)
{
    if (!m_file.is_open())
        return;
    char stamp[32];
    const long long us = at.count();
    std::snprintf(stamp, sizeof stamp, "%6lld.%06lld", us / 1000000, us % 1000000);
    m_file << stamp << ' ' << kind << ' ' << text << '\n';
}

void TrafficLog::flush()
{
    if (m_file.is_open())
        m_file.flush();
}
