#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace vantrel {

// "2024-05-01T09:30:00.125Z": fixed width, so the texts sort as the times do.
std::string IsoUtc(std::chrono::system_clock::time_point time);

// A date ("2024-05-01", midnight UTC) or a date and time with an optional offset, as the
// IsoUtc text of that moment; nothing when it is neither.
std::optional<std::string> ParseIsoMoment(const std::string& text);

}  // namespace vantrel
