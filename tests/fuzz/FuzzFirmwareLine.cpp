// A firmware file as the check before the erase and the transfer read it.
// The disk service splits it into the same lines as the in-memory one; each
// line decodes as an independent reading of its pairs says; a file the check
// accepts goes out whole, byte for byte, to an instrument that accepts
// everything; a file it refuses held a pair that is not hexadecimal (or no
// line at all), and nothing of it reaches the line.
#include "AckingInstrument.h"
#include "FirmwareUpdater.h"
#include "HexLine.h"
#include "MemoryFiles.h"
#include "QtFileSystem.h"
#include "QtFuzzCheck.h"
#include "RecordingWindow.h"
#include "UploaderError.h"
#include "WireProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

const QString Path = QStringLiteral("/opt/veltrax/veltrax_01022024.hex");

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

// The 1-based position after the last pair: the line's length rounded up to
// an even number, and 2 for lines too short to hold a pair.
qint64 endPosition(const QByteArray &line)
{
    if (line.size() <= 2)
        return 2;
    return line.size() + line.size() % 2;
}

// A folder for the whole run, in memory where the system has such a place.
const QTemporaryDir &scratchFolder()
{
    static const QTemporaryDir folder([] {
        const QFileInfo memory(QStringLiteral("/dev/shm"));
        const QString base =
            memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
        return base + QStringLiteral("/veltrax-fuzz-XXXXXX");
    }());
    return folder;
}

// The file on disk, read through the program's own file service.
void checkDiskLines(const QByteArray &content, const QList<QByteArray> &lines)
{
    const QTemporaryDir &folder = scratchFolder();
    require(folder.isValid(), "no temporary folder");
    const QString path = folder.filePath(QStringLiteral("veltrax_01022024.hex"));
    // A new file each time: on ext4 a file truncated and written again is
    // flushed to the disk at every close, a hundred times slower.
    QFile::remove(path);
    QFile file(path);
    require(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
            "cannot write the temporary file");
    file.close();

    const QByteArray shown = content.left(200).toPercentEncoding();
    QtFileSystem disk;
    QList<QByteArray> read;
    try {
        require(disk.FileExists(path), "the file written is not there");
        require(disk.FileSize(path) == content.size(), "file size other than its content", shown);
        const std::unique_ptr<TextStream> stream = disk.OpenTextFile(path);
        while (!stream->AtEndOfStream()) {
            require(read.size() <= lines.size(), "more lines read from disk than the file has",
                    shown);
            read << stream->ReadLine();
        }
        stream->Close();
    } catch (const UploaderError &error) {
        require(false, "reading the file from disk failed", error.description().toUtf8());
    }
    require(read == lines, "the disk service splits the file into other lines", shown);
}

void checkLine(const QByteArray &line)
{
    const std::optional<QByteArray> expected = pairsOf(line);
    const std::optional<HexLine> decoded = decodeHexLine(line);
    const QByteArray shown = line.left(200).toPercentEncoding();
    require(decoded.has_value() == expected.has_value(),
            expected ? "a hexadecimal line refused" : "a line with a non-hex pair accepted", shown);
    if (!decoded)
        return;
    require(decoded->bytes == *expected, "line decoded to other bytes", shown);
    require(decoded->endPosition == endPosition(line), "wrong end position", shown);
}

QByteArray monitorEntry()
{
    QByteArray bytes(1, Wire::ESC);
    for (const std::uint8_t byte : Wire::RebootRequest)
        bytes.append(static_cast<char>(byte));
    bytes += QByteArray(Wire::AccessWord) + "\r\n";
    bytes += QByteArray(3, Wire::ENQ);
    return bytes;
}

void checkTransfer(const QByteArray &content, const QList<QByteArray> &lines)
{
    bool sendable = !lines.isEmpty();
    QByteArray expectedWire;
    double expectedProgress = 0;
    for (const QByteArray &line : lines) {
        const std::optional<QByteArray> pairs = pairsOf(line);
        sendable = sendable && pairs.has_value();
        if (!sendable)
            break;
        expectedWire += QByteArray(1, static_cast<char>(Wire::SOH)) + *pairs;
        expectedProgress += static_cast<double>(endPosition(line) + 1);
    }

    MemoryFiles files;
    files.files.insert(Path, content);
    RecordingWindow window(Path);
    AckingInstrument instrument(lines.size());
    FirmwareUpdater updater(instrument, window, window, files);
    bool sent = false;
    try {
        sent = updater.SendFirmwareFile();
    } catch (const std::exception &error) {
        require(false, "the transfer threw", std::string_view(error.what()));
    }

    const QByteArray shown = content.left(200).toPercentEncoding();
    if (!sendable) {
        require(!sent, "a file with a non-hex pair reported as sent", shown);
        require(instrument.wire().isEmpty(), "bytes sent for a file that is refused", shown);
        require(window.messages == QStringList{QStringLiteral("Invalid File")},
                "a refused file not reported as invalid", shown);
        return;
    }
    require(sent, "a hexadecimal file not sent", window.status.toUtf8() + " for " + shown);
    require(window.messages.isEmpty(), "a message box during a good transfer", shown);
    require(window.status == QStringLiteral("File sent successfully! (Got Verification)"),
            "wrong final status", window.status.toUtf8());
    require(instrument.wire().left(instrument.linesFrom()) == monitorEntry(),
            "monitor entry other than ESC, reboot, access word and three ENQ",
            instrument.wire().left(64).toHex(' '));
    require(instrument.wire().mid(instrument.linesFrom()) == expectedWire,
            "bytes on the wire differ from the file's pairs", shown);
    require(window.progressMaximum == static_cast<double>(content.size()),
            "progress range other than the file size", shown);
    require(window.progress == expectedProgress, "progress other than the positions sent", shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> lines = textLines(content);
    checkDiskLines(content, lines);
    for (const QByteArray &line : lines)
        checkLine(line);
    checkTransfer(content, lines);
    return 0;
}
