#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// "COM3": a unit's port as messages, records, summaries and the command line name it.
std::string PortLabel(int port);

// "COM7" in any case gives 7, "COM-1" gives -1 (no port has it); anything else, a leading
// zero included, nothing.
std::optional<int> PortFromLabel(std::string_view label);

}  // namespace vantrel
