#pragma once

#include <string>

namespace vantrel::cli {

// The one way the command line's parts fail once its arguments are read: the line that says
// what failed and what to do. (A command line that cannot be read is a CliUsageError.)
struct CliFailure {
    std::string text;

    friend bool operator==(const CliFailure&, const CliFailure&) = default;
};

}  // namespace vantrel::cli
