#include "CheckCommand.h"

#include "CheckedFirmware.h"
#include "FirmwareSummary.h"
#include "FlashExit.h"
#include "FlashOptions.h"
#include "ToolFolder.h"
#include "VeltraxVersion.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

QString address(quint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(8, '0');
}

void print(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int runCheck(const FlashOptions &options)
{
    // The folder and the file as an update would take them.
    const ToolFolder chosen =
        chooseToolFolder(options.folder, QDir::currentPath(), QDir::homePath());
    if (!chosen.error.isEmpty()) {
        std::fprintf(stderr, "veltrax-flash: --folder: %s\n",
                     chosen.error.toLocal8Bit().constData());
        return FlashExit::Refused;
    }
    const QString &folder = chosen.path;
    if (!options.quiet)
        std::fprintf(stderr, "veltrax-flash: folder %s (%s)\n", folder.toLocal8Bit().constData(),
                     chosen.why.toLocal8Bit().constData());
    const FirmwareChoice choice = chooseFirmware(options.firmware, folder);
    if (!choice.firmware) {
        std::fprintf(stderr, "veltrax-flash: %s; it would not be sent\n",
                     choice.problem.toLocal8Bit().constData());
        if (options.json) {
            const QJsonObject refused{
                {"version", VELTRAX_VERSION}, {"sendable", false}, {"reason", choice.problem}};
            print(QJsonDocument(refused).toJson(QJsonDocument::Compact) + '\n');
        }
        return FlashExit::NoFirmware;
    }

    const CheckedFirmware &firmware = *choice.firmware;
    const FirmwareSummary summary = summarizeFirmware(firmware.bytes);
    const QString path = QFileInfo(firmware.path).absoluteFilePath();
    if (options.json) {
        QJsonArray ranges;
        for (const FirmwareSummary::Range &range : summary.ranges)
            ranges.append(
                QJsonObject{{"first", address(range.first)}, {"last", address(range.last)}});
        const QJsonObject checked{{"version", VELTRAX_VERSION}, {"sendable", true},
                                  {"firmware", firmware.name},  {"path", path},
                                  {"lines", summary.lines},     {"data_bytes", summary.dataBytes},
                                  {"ranges", ranges},           {"sha256", firmware.sha256}};
        print(QJsonDocument(checked).toJson(QJsonDocument::Compact) + '\n');
        return FlashExit::Success;
    }
    QString text = QStringLiteral("firmware:   %1\npath:       %2\nlines:      %3\n"
                                  "data bytes: %4\n")
                       .arg(firmware.name, path)
                       .arg(summary.lines)
                       .arg(summary.dataBytes);
    for (const FirmwareSummary::Range &range : summary.ranges)
        text += QStringLiteral("range:      %1-%2 (%3 bytes)\n")
                    .arg(address(range.first), address(range.last))
                    .arg(range.last - range.first + 1);
    text += QStringLiteral("sha256:     %1\n").arg(firmware.sha256);
    print(text.toLocal8Bit());
    return FlashExit::Success;
}
