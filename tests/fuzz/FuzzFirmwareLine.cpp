// A firmware file as the check before the erase and the transfer read it. Each
// line decodes as an independent reading of its pairs says; a file the check
// accepts goes out whole, byte for byte, to an instrument that acknowledges
// everything; a file it refuses held a pair that is not hexadecimal (or no
// line at all), and nothing of it reaches the line.
#include "FakeWindow.h"
#include "FirmwareUpdater.h"
#include "FuzzCheck.h"
#include "HexLine.h"
#include "MemoryFileSystem.h"
#include "ScriptedInstrument.h"

#include <cctype>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;

// Characters 2 and 3, 4 and 5, ... as bytes, while a pair starts before the
// line's last character; nothing when one of them is no hexadecimal digit.
std::optional<QByteArray> pairsOf(const QByteArray &line)
{
    QByteArray bytes;
    for (qsizetype first = 1; first + 1 < line.size(); first += 2) {
        const char pair[3] = {line[first], line[first + 1], '\0'};
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            return std::nullopt;
        bytes.append(static_cast<char>(std::strtol(pair, nullptr, 16)));
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::string shown = content.left(200).toPercentEncoding().toStdString();
    FakeWindow window;
    FakeMessages messages;
    MemoryFileSystem files;
    files.files.insert(window.path, content);
    ScriptedInstrument instrument;
    instrument.open = true;
    const QByteArray entry = QByteArray::fromHex("1b 01 48 01 00 49") + "quandrel\r\n\x05\x05";
    instrument.answer("\x1b", {{10ms, "\x06"}}).answer(entry.mid(1, 5), {{10ms, "boot"}});
    instrument.answer("quandrel\r\n", {{10ms, "MON: "}}).answer("\x05\x05", {{10ms, "\x80"}});

    const QList<QByteArray> lines = textLines(content);
    bool sendable = !lines.isEmpty();
    QByteArray sentLines;
    double progress = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QByteArray> pairs = pairsOf(lines[i]);
        const std::optional<HexLine> decoded = decodeHexLine(lines[i]);
        require(decoded.has_value() == pairs.has_value(),
                pairs ? "a hexadecimal line refused" : "a line with a non-hex pair accepted",
                shown);
        if (!decoded) {
            sendable = false;
            continue;
        }
        require(decoded->bytes == *pairs, "line decoded to other bytes", shown);
        require(decoded->endPosition ==
                    std::max<qsizetype>(2, lines[i].size() + lines[i].size() % 2),
                "wrong end position", shown);
        sentLines += '\x01' + *pairs;
        progress += static_cast<double>(decoded->endPosition + 1);
        instrument.answer('\x01' + *pairs, {{10ms, i + 1 < lines.size() ? "\x06"
                                                                        : "\x06"
                                                                          "CODE OK"}});
    }

    FirmwareUpdater updater(instrument, window, messages, files);
    const bool sent = updater.SendFirmwareFile();
    if (!sendable) {
        require(!sent && instrument.wire.isEmpty() && messages.shown == QStringList{"Invalid File"},
                "a file with a non-hex pair not refused before anything was sent", shown);
        return 0;
    }
    require(sent && messages.shown.isEmpty() &&
                window.status() == QStringLiteral("File sent successfully! (Got Verification)"),
            "a hexadecimal file not sent", window.status().toStdString() + " for " + shown);
    require(instrument.wire == entry + '\x05' + sentLines,
            "bytes on the wire other than the monitor entry and the file's pairs", shown);
    require(window.maximum == static_cast<double>(size) && window.value == progress,
            "progress other than the positions sent out of the file's size", shown);
    return 0;
}
