// veltrax-sim: a Veltrax instrument's boot monitor on a pseudo-terminal or a
// serial port, for running the uploader without the instrument.

#include "LineEndpoint.h"
#include "LineRunner.h"
#include "MonitorMachine.h"
#include "SimOptions.h"
#include "TrafficLog.h"
#include "VeltraxVersion.h"

#include <csignal>
#include <fstream>
#include <iostream>

namespace {

void onSignal(int)
{
    LineRunner::requestStop();
}

void installSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

struct Verdict {
    int status;
    const char *text;
};

Verdict verdictFor(UpdateStage stage)
{
    switch (stage) {
    case UpdateStage::None:
        return {simexit::NoUpdate, "no update (monitor never entered)"};
    case UpdateStage::MonitorEntered:
    case UpdateStage::FlashErased:
    case UpdateStage::Transferring:
        return {simexit::TransferUnfinished, "transfer not finished"};
    case UpdateStage::VerdictBad:
        return {simexit::CodeBad, "image refused with CODE BAD"};
    case UpdateStage::VerdictOk:
        return {simexit::NoReset, "CODE OK, but defaults never reset"};
    case UpdateStage::DefaultsReset:
        return {simexit::NoFinalReboot, "defaults reset, but no final reboot"};
    case UpdateStage::Complete:
        return {simexit::Complete, "update complete"};
    }
    return {simexit::NoUpdate, "?"};
}

std::string endText(LineRunner::End end, const LineRunner &runner, const SimOptions &options)
{
    switch (end) {
    case LineRunner::End::UpdateDone:
        return "update done";
    case LineRunner::End::TimedOut:
        return "gave up after " + std::to_string(options.runner.timeout->count() / 1000) + " s";
    case LineRunner::End::Stopped:
        return "stopped by signal";
    case LineRunner::End::HungUp: {
        const HangUpStage stage = options.monitor.hangUpAt;
        if (stage != HangUpStage::None)
            return "hung up at " + std::string(HangUpStageNames[static_cast<std::size_t>(stage)]);
        return "hung up at line " + std::to_string(options.monitor.hangUpLine);
    }
    case LineRunner::End::LineFailed:
        return "line failed: " + runner.failure();
    }
    return {};
}

// The image is laid out flat from its lowest to its highest address; records
// at both ends of the 32-bit address space would make that 4 GiB of erased
// flash, more than any instrument holds.
constexpr std::uint64_t MaxImageSpan = std::uint64_t{64} << 20;

std::uint64_t imageSpan(const FlashImage &image)
{
    return image.empty() ? 0 : image.end() - image.lowest();
}

bool writeImage(const std::string &path, const FlashImage &image)
{
    const std::vector<std::uint8_t> binary = image.toBinary();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(binary.data()),
               static_cast<std::streamsize>(binary.size()));
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char **argv)
{
    const SimOptionsResult parsed = parseSimOptions({argv + 1, argv + argc});
    if (parsed.options.help) {
        std::cout << simUsage();
        return 0;
    }
    if (parsed.options.version) {
        std::cout << "veltrax-sim " VELTRAX_VERSION "\n";
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << "veltrax-sim: " << parsed.error << "\nTry veltrax-sim --help.\n";
        return simexit::Usage;
    }
    const SimOptions &options = parsed.options;

    std::unique_ptr<TrafficLog> log;
    std::unique_ptr<LineEndpoint> line;
    try {
        log = std::make_unique<TrafficLog>(options.logPath);
        line = options.linkPath.empty() ? LineEndpoint::openPort(options.portPath)
                                        : LineEndpoint::openPty(options.linkPath);
    } catch (const std::exception &e) {
        std::cerr << "veltrax-sim: " << e.what() << '\n';
        return simexit::Usage;
    }
    installSignalHandlers();

    MonitorMachine machine(options.monitor);
    LineRunner runner(*line, machine, *log, options.runner);
    std::cout << "veltrax-sim: ready on " << line->name() << " (" << line->device() << ")"
              << std::endl;
    const LineRunner::End end = runner.run();
    line.reset();

    const std::string ending = endText(end, runner, options);
    const Verdict verdict = verdictFor(machine.stage());
    std::string text = std::string("veltrax-sim: verdict: ") + verdict.text;
    if (!machine.fault().empty())
        text += " (" + machine.fault() + ")";
    text += ", " + std::to_string(machine.image().bytesWritten()) + " bytes in " +
            std::to_string(machine.lines()) + " lines";
    int status = end == LineRunner::End::LineFailed ? simexit::LineFailed : verdict.status;
    if (!options.imagePath.empty() && imageSpan(machine.image()) > MaxImageSpan) {
        text += ", image not written: its addresses span " +
                std::to_string(imageSpan(machine.image())) + " bytes, over 64 MiB";
        status = simexit::ImageTooLarge;
    } else if (!options.imagePath.empty()) {
        if (writeImage(options.imagePath, machine.image()))
            text += ", image written to " + options.imagePath;
        else
            std::cerr << "veltrax-sim: cannot write " << options.imagePath << '\n';
    }
    log->note(runner.elapsed(), ending);
    log->note(runner.elapsed(), text);
    std::cout << "veltrax-sim: " << ending << '\n' << text << std::endl;
    return status;
}
