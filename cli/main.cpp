// vantrel-cli: flashes units from scripts, without a window.
#include <QCoreApplication>
#include <iostream>
#include <optional>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/Console.h"
#include "cli/FirmwareFileReport.h"
#include "cli/InterruptSource.h"
#include "cli/LineInput.h"
#include "cli/PortList.h"
#include "cli/StationLoop.h"
#include "cli/StatsCommand.h"
#include "cli/WatchCommand.h"
#include "serial/PortMapping.h"
#include "settings/ProgramIdentity.h"
#include "settings/SettingsStore.h"

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
    if (options.watch) {
        vantrel::cli::WatchCommand watch(options, settings, std::cout, std::cerr);
        vantrel::cli::InterruptSource interrupts([&watch] { watch.RequestStop(); });
        if (const auto failure = interrupts.Start()) {
            std::cerr << program << ": " << failure->text << '\n';
            return vantrel::kExitNothingFlashed;
        }
        return watch.Run();
    }
    vantrel::cli::CliRunner runner(options, settings, std::cerr,
                                   vantrel::cli::LiveTerminalOnStderr());

    vantrel::cli::InterruptSource interrupts([&runner] { runner.RequestInterrupt(); });
    if (const auto failure = interrupts.Start()) {
        std::cerr << program << ": " << failure->text << '\n';
        return vantrel::kExitNothingFlashed;
    }

    std::optional<vantrel::cli::LineInput> input;
    if (options.loop) {
        input.emplace();
    }
    vantrel::cli::StationLoop station(options, runner, std::cout, std::cerr,
                                      input ? &*input : nullptr, &interrupts.Requested());
    return station.Run();
}
