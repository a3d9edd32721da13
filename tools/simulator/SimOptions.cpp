#include "SimOptions.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <stdexcept>

namespace {

long parseNumber(const std::string &text, long low, long high)
{
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < low || value > high)
        throw std::invalid_argument("\"" + text + "\" is not a number from " + std::to_string(low) +
                                    " to " + std::to_string(high));
    return value;
}

std::vector<std::uint8_t> parseHexBytes(std::string text)
{
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0)
        text.erase(0, 2);
    if (text.empty() || text.size() % 2 != 0)
        throw std::invalid_argument("\"" + text + "\" is not hexadecimal pairs");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            throw std::invalid_argument("\"" + text + "\" is not hexadecimal pairs");
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

RebootSet parseRebootSet(const std::string &text)
{
    static const std::map<std::string, RebootSet> names = {
        {"start", RebootSet::Start}, {"final", RebootSet::Final}, {"all", RebootSet::All}};
    const auto found = names.find(text);
    if (found == names.end())
        throw std::invalid_argument("\"" + text + "\" is not start, final or all");
    return found->second;
}

StrayPlace parseStrayPlace(const std::string &text)
{
    if (text == "reset")
        return {StrayPlace::Kind::Reset, 0};
    const std::size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    if (colon == std::string::npos || (kind != "esc" && kind != "line"))
        throw std::invalid_argument("\"" + text + "\" is not esc:K, line:N or reset");
    return {kind == "esc" ? StrayPlace::Kind::Esc : StrayPlace::Kind::Line,
            static_cast<int>(parseNumber(text.substr(colon + 1), 1, 1000000))};
}

std::chrono::milliseconds parseMs(const std::string &text)
{
    return std::chrono::milliseconds(parseNumber(text, 0, 3600000));
}

int parseLine(const std::string &text)
{
    return static_cast<int>(parseNumber(text, 1, 1000000));
}

void parseHangUp(const std::string &text, MonitorSettings &m)
{
    if (text.rfind("line:", 0) == 0) {
        m.hangUpLine = parseLine(text.substr(5));
        return;
    }
    const auto found = std::find(HangUpStageNames.begin() + 1, HangUpStageNames.end(), text);
    if (found == HangUpStageNames.end())
        throw std::invalid_argument(
            "\"" + text + "\" is not boot, prompt, erase, verify, pause, reset, reboot or line:N");
    m.hangUpAt = static_cast<HangUpStage>(found - HangUpStageNames.begin());
}

} // namespace

SimOptionsResult parseSimOptions(const std::vector<std::string> &args)
{
    SimOptionsResult result;
    SimOptions &o = result.options;
    MonitorSettings &m = o.monitor;
    using Flag = std::function<void()>;
    using Valued = std::function<void(const std::string &)>;
    const std::map<std::string, Flag> flags = {
        {"--help", [&] { o.help = true; }},
        {"-h", [&] { o.help = true; }},
        {"--version", [&] { o.version = true; }},
        {"--no-pacing", [&] { o.runner.pacing = false; }},
        {"--exit-after-update", [&] { o.runner.exitAfterUpdate = true; }},
        {"--silent", [&] { m.silent = true; }},
        {"--code-bad", [&] { m.codeBad = true; }},
        {"--erase-acks", [&] { m.eraseAcks = true; }},
    };
    const std::map<std::string, Valued> valued = {
        {"--link", [&](const std::string &v) { o.linkPath = v; }},
        {"--port", [&](const std::string &v) { o.portPath = v; }},
        {"--log", [&](const std::string &v) { o.logPath = v; }},
        {"--image", [&](const std::string &v) { o.imagePath = v; }},
        {"--timeout",
         [&](const std::string &v) {
             o.runner.timeout = std::chrono::seconds(parseNumber(v, 1, 86400));
         }},
        {"--erase-ms", [&](const std::string &v) { m.eraseTime = parseMs(v); }},
        {"--boot-delay-ms", [&](const std::string &v) { m.bootDelay = parseMs(v); }},
        {"--esc-delay-ms", [&](const std::string &v) { m.escDelay = parseMs(v); }},
        {"--verify-ms", [&](const std::string &v) { m.verifyTime = parseMs(v); }},
        {"--gap-ms",
         [&](const std::string &v) {
             m.gap = std::chrono::milliseconds(parseNumber(v, 1, 60000));
         }},
        {"--nak-line",
         [&](const std::string &v) {
             m.replyLine = parseLine(v);
             m.replyByte = wire::NAK;
         }},
        {"--line-reply",
         [&](const std::string &v) {
             const std::size_t colon = v.find(':');
             if (colon == std::string::npos)
                 throw std::invalid_argument("\"" + v + "\" is not N:HH");
             m.replyLine = parseLine(v.substr(0, colon));
             const auto bytes = parseHexBytes(v.substr(colon + 1));
             if (bytes.size() != 1)
                 throw std::invalid_argument("\"" + v + "\" names more than one byte");
             m.replyByte = bytes.front();
         }},
        {"--stray", [&](const std::string &v) { m.stray = parseHexBytes(v); }},
        {"--stray-at", [&](const std::string &v) { m.strayAt = parseStrayPlace(v); }},
        {"--no-boot", [&](const std::string &v) { m.noBoot = parseRebootSet(v); }},
        {"--long-startup", [&](const std::string &v) { m.longStartup = parseRebootSet(v); }},
        {"--hangup-line", [&](const std::string &v) { m.hangUpLine = parseLine(v); }},
        {"--hangup-at", [&](const std::string &v) { parseHangUp(v, m); }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        try {
            if (const auto flag = flags.find(arg); flag != flags.end()) {
                flag->second();
            } else if (const auto option = valued.find(arg); option != valued.end()) {
                if (i + 1 >= args.size())
                    throw std::invalid_argument("needs a value");
                option->second(args[++i]);
            } else {
                throw std::invalid_argument("unknown option");
            }
        } catch (const std::invalid_argument &e) {
            result.error = arg + ": " + e.what();
            return result;
        }
    }
    if (!o.help && !o.version && o.linkPath.empty() == o.portPath.empty())
        result.error = "give exactly one of --link and --port";
    return result;
}

std::string simUsage()
{
    return R"(Usage: veltrax-sim (--link DIR/COMn | --port DEVICE) [options]

Plays a Veltrax instrument's boot monitor on a serial line, so that the
uploader can run a whole update against it.

Line:
  --link PATH           open a pseudo-terminal and link its slave as PATH
  --port DEVICE         use a real serial port (19200 baud, 8N1), e.g. /dev/ttyUSB0
  --no-pacing           take and send bytes at once, not at 19200 baud wire time

Output:
  --log FILE            every byte received and sent with its time, and what
                        the monitor made of it
  --image FILE          at exit, the image assembled from the records: binary
                        from the lowest address written, gaps as 0xFF

Ending:
  --exit-after-update   exit once the reboot that ends an update is answered
  --timeout SECONDS     give up after this long
  SIGINT or SIGTERM end the run with a verdict too.

Timing (milliseconds):
  --erase-ms MS         flash erase after the second ENQ (default 300; over
                        30000 outlasts the uploader's wait)
  --boot-delay-ms MS    reboot request to start-up text (default 500)
  --esc-delay-ms MS     ESC to its ACK (default 0)
  --verify-ms MS        end-of-file record to the verdict (default 100)
  --gap-ms MS           silence that ends a short record or request (default 200)

Faults:
  --silent              never answer anything
  --nak-line N          answer line N with NAK
  --line-reply N:HH     answer line N with the byte HH (hex) instead of ACK
  --code-bad            answer "CODE BAD" whatever the records were
  --erase-acks          send ACK once a second while erasing
  --stray HH[HH...]     stray bytes sent just before the ACK that --stray-at names
  --stray-at PLACE      esc:K (the K-th ESC of the run), reset (the reset
                        request) or line:N; default esc:1
  --no-boot WHICH       no start-up text after the reboot that starts an update
                        (start), the one after the reset (final), or any (all)
  --long-startup WHICH  a 45-character start-up text without "boot" instead
  --hangup-line N       close the line and exit when line N begins
  --hangup-at STAGE     close the line and exit at a stage: on the reboot request
                        that opens an update (boot), instead of the prompt
                        (prompt), when the erase would start (erase), instead of
                        the verdict (verify), 1 s after "CODE OK" in the
                        uploader's pause (pause), on the reset request (reset),
                        on the final reboot request (reboot), or line:N

Other:
  -h, --help            this text
  --version             the program's name and version

Exit status (from the latest update seen):
  0  update complete: "CODE OK", defaults reset, rebooted
  1  the line failed (read or write error)
  2  bad options, or the line could not be opened
  3  no update: the monitor was never entered
  4  the transfer did not finish (stopped, refused line, hang-up)
  5  "CODE BAD" sent
  6  "CODE OK" sent, but the defaults were never reset
  7  defaults reset, but no start-up text after the final reboot
  8  --image given, but the addresses written span over 64 MiB: not written
)";
}
