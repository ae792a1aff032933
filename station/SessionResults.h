#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/LoaderState.h"
#include "serial/SerialLink.h"
#include "station/RunSummary.h"

namespace vantrel {

// The file's bytes as the log keeps their digest: SHA-256 in lower-case hex.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

// A run's summary as it starts: a new key, the time, the file named, the base address, the
// line speed and each unit with its device (port, device path), none complete yet.
RunSummary BeginRunSummary(const std::string& romPath, const std::string& baseAddress, int baud,
                           const std::vector<std::pair<int, QString>>& units);

// How each unit of a run that ended stands: the text its status ended with, complete only when
// the run completed with it still selected at "FW Load Complete", the stage it failed at, and
// what failed beyond it (its line lost, its device gone).
void TakeUnitResults(RunSummary& summary, LoaderState& state, SerialLink& link,
                     const std::function<QString(int port)>& statusOf);

}  // namespace vantrel
