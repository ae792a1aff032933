// vantrel-cli: flashes units from scripts, without a window.
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <iostream>
#include <optional>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/FirmwareFileReport.h"
#include "cli/LineInput.h"
#include "cli/PortList.h"
#include "cli/StationLoop.h"
#include "cli/StatsCommand.h"
#include "serial/PortMapping.h"
#include "settings/ProgramIdentity.h"
#include "settings/SettingsStore.h"

namespace {

int interruptPipe[2] = {-1, -1};
// Seen at once by every wait on the run log, which may be under way on this thread.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int) {
    stopRequested.store(true);
    const char byte = 1;
    // Only async-signal-safe work here: the event loop picks the byte up.
    [[maybe_unused]] ssize_t written = write(interruptPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::string program = "vantrel-cli";
    std::vector<std::string> arguments(argv + 1, argv + argc);

    const auto parsed = vantrel::cli::ParseArguments(arguments);
    if (std::holds_alternative<vantrel::cli::CliAction>(parsed)) {
        if (std::get<vantrel::cli::CliAction>(parsed) == vantrel::cli::CliAction::Help) {
            std::cout << vantrel::cli::UsageText(program);
        } else {
            std::cout << vantrel::cli::VersionText() << '\n';
        }
        return 0;
    }
    if (const auto* error = std::get_if<vantrel::cli::CliUsageError>(&parsed)) {
        std::cerr << program << ": " << error->text << "\nTry '" << program << " --help'.\n";
        return vantrel::kExitNothingFlashed;
    }
    if (const auto* stats = std::get_if<vantrel::cli::StatsRequest>(&parsed)) {
        return vantrel::cli::RunStatsCommand(*stats, std::cout, std::cerr);
    }
    // Shares the window program's settings: its remembered base address and port devices.
    vantrel::SettingsStore settings(vantrel::kProgramName);
    if (const auto* inspect = std::get_if<vantrel::cli::InspectRequest>(&parsed)) {
        const std::string base =
            inspect->baseAddress.value_or(settings.FwBaseAddress().toStdString());
        return vantrel::cli::RunFirmwareFileReport(*inspect, base, std::cout, std::cerr);
    }
    const auto& options = std::get<vantrel::cli::CliOptions>(parsed);

    if (options.listPorts) {
        const vantrel::SettingsPortMapping mapping(settings);
        const auto ports = vantrel::DetectedPorts();
        std::cout << (options.json ? vantrel::cli::PortListJson(ports, mapping)
                                   : vantrel::cli::PortListText(ports, mapping));
        return 0;
    }
    vantrel::cli::CliRunner runner(options, settings, std::cerr, isatty(STDERR_FILENO) != 0);

    if (pipe(interruptPipe) != 0) {
        std::cerr << program << ": cannot set up the interrupt handler\n";
        return vantrel::kExitNothingFlashed;
    }
    QSocketNotifier notifier(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char byte = 0;
        [[maybe_unused]] ssize_t got = read(interruptPipe[0], &byte, 1);
        runner.RequestInterrupt();
    });
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // A closed terminal or ssh session ends the run as Ctrl+C does: ports closed, record kept.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A reader of stderr that goes away shows up as a failed write, which stops the run.
    std::signal(SIGPIPE, SIG_IGN);

    std::optional<vantrel::cli::LineInput> input;
    if (options.loop) {
        input.emplace(STDIN_FILENO);
    }
    vantrel::cli::StationLoop station(options, runner, std::cout, std::cerr,
                                      input ? &*input : nullptr, &stopRequested);
    return station.Run();
}
