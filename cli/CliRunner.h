#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "cli/CliFailure.h"
#include "cli/CliOptions.h"
#include "cli/UnitDisplay.h"
#include "image/FirmwareLoader.h"
#include "image/ImageBuffer.h"
#include "results/RunSummary.h"
#include "serial/PortMapping.h"

namespace vantrel {
class SettingsStore;
class HeadlessSession;
}  // namespace vantrel

namespace vantrel::cli {

// A firmware file read once and found fit to flash.
struct CheckedFirmware {
    std::vector<std::uint8_t> content;  // the file's bytes: what is hashed, checked and flashed
    std::string fileSha256;
    FirmwareLayout layout;  // its image is in the buffer given to the check
};

// Whether the file would flash at the base address, by the rule every run applies: the
// firmware, or the one reason it is refused, in the command line's words. Touches no port.
std::variant<CheckedFirmware, CliFailure> CheckFirmwareFile(const std::string& path,
                                                            const std::string& baseAddressText,
                                                            std::span<std::uint8_t> buffer);

// A refused batch in the command line's words; nothing for a refusal told as it happened.
std::optional<std::string> RefusalLine(const BatchRefusal& refusal, const std::string& path,
                                       const std::string& baseAddressText);

// The device of each port named: as given, else the one the settings map its COM port to.
std::unique_ptr<TablePortMapping> MapNamedPorts(const std::vector<PortChoice>& ports,
                                                SettingsStore& settings);

// One flash from the command line: ticks the named ports, runs the download headless and shows
// it live; its summary is left for the caller. May run again, reading the ROM file afresh.
// Needs a QCoreApplication on the calling thread.
class CliRunner {
  public:
    CliRunner(const CliOptions& options, SettingsStore& settings, std::ostream& err,
              bool liveTerminal);

    // Returns the exit code.
    int Run();
    // Stops the run at once, and any later one; from any thread, but not from a signal handler.
    void RequestInterrupt();
    bool Interrupted() const { return interrupted_.load(); }
    const RunSummary& Summary() const { return summary_; }
    // Called once the file would flash and the ports are open, before any unit is touched;
    // false leaves every unit alone and the run not started.
    void SetBeforeUnits(std::function<bool(const RunSummary&)> beforeUnits) {
        beforeUnits_ = std::move(beforeUnits);
    }

  private:
    // The device of each named unit, from the command line or the settings.
    std::unique_ptr<TablePortMapping> MapUnits(std::vector<UnitDisplay::Unit>& display);
    // Nothing flashed: the reason is told and kept.
    int Refuse(const std::string& reason);
    // The session's statuses and messages go live to the display (once the batch is prepared)
    // and into the summary.
    void ShowSession(HeadlessSession& session, std::optional<UnitDisplay>& display);
    int EndSummary();
    // Stderr gone (its reader closed the pipe): nobody sees the run, so it stops.
    void StopIfNobodyReads();

    const CliOptions& options_;
    SettingsStore& settings_;
    std::ostream& err_;
    bool liveTerminal_;
    RunSummary summary_;
    std::atomic<bool> interrupted_{false};
    std::atomic<HeadlessSession*> session_{nullptr};
    std::function<bool(const RunSummary&)> beforeUnits_;  // keeps each run's record
};

}  // namespace vantrel::cli
