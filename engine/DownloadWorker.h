#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/DownloadHost.h"
#include "engine/LineSettings.h"
#include "engine/LoaderState.h"
#include "engine/MonitorPackets.h"
#include "engine/UnitTracker.h"
#include "image/RomFile.h"

namespace vantrel {

// What one run is given when it starts. The texts are copies, so a change in the window during
// the run cannot tear them; the ROM file belongs to the run and is closed when the run goes.
struct RunInputs {
    std::string romPathText;
    std::string baseAddressText;
    RomFile romFile;
    const char* demonText = nullptr;  // the built-in Demon unless a test gives another
    // Asked of the units by SetBaudRate once the Demon runs; the erase and the firmware go at it.
    int demonBaud = kDefaultDemonBaud;
    // The ROM file's bytes when the caller has read them already (to check or hash them): the
    // run then flashes exactly these and does not read the file again.
    std::optional<std::vector<std::uint8_t>> romContent = std::nullopt;
    // Called on the run's thread once the file would flash, with its bytes, before any unit is
    // touched; false ends the run there, as an image error (a station that cannot record it).
    std::function<bool(std::span<const std::uint8_t> romFileContent)> beforeUnits = nullptr;
};

enum class RunOutcome {
    Completed,       // every command was sent; the surviving units are complete
    ImageError,      // an image or the base address could not be read, or beforeUnits refused
                     // the run; no port was written
    AllUnitsFailed,  // every unit failed one wait
    Stopped,         // the run was asked to stop and left its host alone from then on
    InternalError,   // something unexpected ended the run; reported, ports closed, Start enabled
};

// Shown, with the error's own text after it, when something unexpected ends a run.
inline constexpr std::string_view kInternalErrorMessage =
    "The download was stopped by an internal error:\n\n";

// One download run: reads both images, remembers the settings, and drives every selected unit
// through the monitor, the Demon, the erase and the firmware, in lock step.
class DownloadWorker {
  public:
    DownloadWorker(LoaderState& state, DownloadHost& host) : state_(state), host_(host) {}

    // Never throws: whatever goes wrong inside a run ends that run.
    RunOutcome Run(const RunInputs& inputs) noexcept;

  private:
    using ChunkBuilder = std::uint16_t (*)(PacketBuffer&, std::span<const std::uint8_t>,
                                           std::uint32_t);

    // Reads the images and the base address; false after reporting an error.
    bool LoadImages(const RunInputs& inputs, std::int32_t& demonSize, std::int32_t& romSize,
                    std::uint32_t& baseAddress);
    void ReportError(std::string_view message);
    // Ends the run as finish-run does, after telling the user what went wrong.
    RunOutcome EndAfterInternalError(const char* what) noexcept;
    void Send(std::uint16_t length);
    void Transfer(std::span<const std::uint8_t> image, std::uint32_t startAddress,
                  ChunkBuilder build, int sentStage);

    LoaderState& state_;
    DownloadHost& host_;
    PacketBuffer packet_{};
    RunOutcome outcome_ = RunOutcome::AllUnitsFailed;
};

}  // namespace vantrel
