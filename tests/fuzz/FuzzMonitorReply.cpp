// The whole update against an instrument whose answers the fuzzer makes up:
// whatever comes back, no wait reads past its answer, its limit or a Stop,
// the window and the port are handed back as they were taken, and success is
// never reported without the verdict and the whole file on the line.
#include "FirmwareUpdater.h"
#include "MemoryFiles.h"
#include "QtFuzzCheck.h"
#include "RecordingWindow.h"
#include "ReplayingInstrument.h"
#include "WireProtocol.h"

#include <cstdint>

namespace {

const QString Path = QStringLiteral("/opt/veltrax/veltrax_01022024.hex");
const QByteArray Firmware = ":020000040000FA\r\n:0400000001020304F2\r\n:00000001FF\r\n";
// The same three records as they go out, each behind its SOH.
const QByteArray FirmwareOnWire = QByteArray::fromHex("01020000040000FA"
                                                      "010400000001020304F2"
                                                      "0100000001FF");

QByteArray bytes(const Wire::Request &request)
{
    return QByteArray(reinterpret_cast<const char *>(request.data()),
                      static_cast<qsizetype>(request.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    MemoryFiles files;
    files.files.insert(Path, Firmware);
    RecordingWindow window(Path);
    ReplayingInstrument instrument(
        QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)), window);
    FirmwareUpdater updater(instrument, window, window, files);
    try {
        updater.btnSend_Click();
    } catch (const std::exception &error) {
        require(false, "the update threw", std::string_view(error.what()));
    }

    const QByteArray status = window.status.toUtf8();
    require(window.disabled == 1 && window.restored == 1,
            "controls not disabled and restored once each", status);
    require(window.stopShown == QList<bool>{true, false}, "Stop not shown and then hidden", status);
    require(instrument.opened == 1 && instrument.closed == 1, "port not opened and closed once",
            status);
    require(window.messages.size() == 1, "a message box besides the question",
            window.messages.join(QLatin1Char('|')).toUtf8());
    if (window.status != QStringLiteral("Update Successful"))
        return 0;
    require(!instrument.stopped(), "success reported after Stop");
    require(instrument.received().contains(Wire::CodeOkText), "success without \"CODE OK\"",
            instrument.received().toPercentEncoding());
    require(instrument.wire().contains(FirmwareOnWire), "success without the whole file sent",
            instrument.wire().toHex(' '));
    require(instrument.wire().contains(bytes(Wire::ResetRequest)),
            "success without the reset request", instrument.wire().toHex(' '));
    return 0;
}
