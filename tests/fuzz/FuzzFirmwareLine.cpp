// A firmware file through the check before the erase and the transfer: a file
// whose lines are all pairs of hex digits goes out whole, byte for byte, to an
// instrument that acknowledges everything; any other is refused with nothing sent.
#include "FakeWindow.h"
#include "FirmwareUpdater.h"
#include "FuzzCheck.h"
#include "MemoryFileSystem.h"
#include "ScriptedInstrument.h"

#include <QRegularExpression>

namespace {

using namespace std::chrono_literals;

// The pairs after a line's first character (a lone last one dropped), when all
// are hex digits.
std::optional<QByteArray> pairsOf(const QByteArray &line)
{
    static const QRegularExpression hex(QStringLiteral("^(.([0-9A-Fa-f]{2})*.?)?$"),
                                        QRegularExpression::DotMatchesEverythingOption);
    if (!hex.match(QString::fromLatin1(line)).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(line.mid(1, (line.size() - 1) / 2 * 2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
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
    for (qsizetype i = 0; sendable && i < lines.size(); ++i) {
        const std::optional<QByteArray> pairs = pairsOf(lines[i]);
        sendable = pairs.has_value();
        const QByteArray line = '\x01' + pairs.value_or(""), ack("\x06");
        sentLines += line;
        instrument.answer(line, {{10ms, i + 1 < lines.size() ? ack : ack + "CODE OK"}});
    }

    FirmwareUpdater updater(instrument, window, messages, files);
    const bool sent = updater.SendFirmwareFile();
    if (!sendable) {
        require(!sent && instrument.wire.isEmpty() && messages.shown == QStringList{"Invalid File"},
                "a file with a non-hex pair not refused before anything was sent");
        return 0;
    }
    require(sent && messages.shown.isEmpty() &&
                window.status() == QStringLiteral("File sent successfully! (Got Verification)"),
            "a hexadecimal file not sent");
    require(instrument.wire == entry + '\x05' + sentLines,
            "bytes on the wire other than the monitor entry and the file's pairs");
    return 0;
}
