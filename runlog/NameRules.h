#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// What is wrong with a station or operator name, if anything. The log and its reports show
// names as they are, so a name must be non-empty UTF-8 without control characters (a line
// break in a name could forge a line of a report).
std::optional<std::string> NameFault(std::string_view name);

}  // namespace vantrel
