#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <variant>

#include "engine/LoaderState.h"
#include "engine/RunResult.h"
#include "image/RomFile.h"
#include "session/BatchTypes.h"

namespace vantrel {

// Opens the named file as a ROM file; a folder is never one. Empty on failure, errno telling
// why.
RomFile OpenRomForReading(const QString& path);

// A ROM file read once: its digest, and either the plan of what a run sends, its images in
// the state's buffers, or why it would not flash.
struct FilePlan {
    std::string fileSha256;  // of the bytes as read; empty when none could be read
    std::int64_t fileBytes = 0;
    std::variant<RunPlan, BatchRefusal> plan;
};

// The one rule of a batch's file: read once (a file not open is refused with errno's words),
// hashed, then planned by the rules every run applies. The bytes hashed are the bytes flashed.
FilePlan PlanFile(LoaderState& state, std::FILE* file, const BatchRequest& request);

// What a batch of units on these ports returned, unit by unit: the run's own account (its
// texts, stages and time), with the cause beyond the unit that causeOf gives for a port.
std::vector<UnitResult> UnitResultsOf(const RunResult& run,
                                      const std::vector<std::pair<int, std::string>>& units,
                                      const std::function<std::string(int port)>& causeOf);

// The file's bytes as the log keeps their digest: SHA-256 in lower-case hex.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace vantrel
