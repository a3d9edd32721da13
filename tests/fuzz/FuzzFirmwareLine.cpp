// A file of whole records ending in its one end-of-file record goes out byte for
// byte to an instrument that acknowledges all; any other is refused, nothing sent.
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

// Count, address, type, data and checksum, the count right and the sum 0.
bool isRecord(const QByteArray &bytes)
{
    int sum = 0;
    for (const char byte : bytes)
        sum += static_cast<std::uint8_t>(byte);
    if (bytes.size() < 5 || static_cast<std::uint8_t>(bytes[0]) != bytes.size() - 5 ||
        sum % 256 != 0)
        return false;
    // Types 01 to 05 carry the data length the format fixes; later types are the
    // instrument's to judge.
    static const int fixedLength[] = {-1, 0, 2, 4, 2, 4};
    const int type = static_cast<std::uint8_t>(bytes[3]);
    return type < 1 || type > 5 || bytes.size() - 5 == fixedLength[type];
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

    // Sendable: every line one record, and a type 01 record on the last line only.
    const QList<QByteArray> lines = textLines(content);
    bool sendable = !lines.isEmpty();
    QByteArray sentLines;
    for (qsizetype i = 0; sendable && i < lines.size(); ++i) {
        const std::optional<QByteArray> pairs = pairsOf(lines[i]);
        const bool last = i + 1 == lines.size();
        sendable = pairs && isRecord(*pairs) && (pairs->at(3) == '\x01') == last;
        const QByteArray line = '\x01' + pairs.value_or(""), ack("\x06");
        sentLines += line;
        instrument.answer(line, {{10ms, last ? ack + "CODE OK" : ack}});
    }

    FirmwareUpdater updater(instrument, window, messages, files);
    const bool sent = updater.SendFirmwareFile();
    if (!sendable) {
        require(!sent && instrument.wire.isEmpty() && messages.shown == QStringList{"Invalid File"},
                "a file that cannot succeed not refused before anything was sent");
        return 0;
    }
    require(sent && messages.shown.isEmpty() &&
                window.status() == QStringLiteral("File sent successfully! (Got Verification)"),
            "a file of whole records not sent");
    require(instrument.wire == entry + '\x05' + sentLines,
            "bytes on the wire other than the monitor entry and the file's pairs");
    require(window.maximum == content.size(), "progress not measured on the file as read");
    return 0;
}
