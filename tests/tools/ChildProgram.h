#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::testing {

// Where a started program's standard streams go: output and errors to files, or errors to an
// open descriptor; input from a descriptor, else empty.
struct ChildStreams {
    std::filesystem::path output;
    std::filesystem::path errors;
    int errorsFd = -1;
    int inputFd = -1;
};

// Starts arguments[0] as a child process, with the given environment (empty: this process's
// own). The child's id, or -1 when it cannot be started.
pid_t StartProgram(std::vector<std::string> arguments, const ChildStreams& streams,
                   std::vector<std::string> environment = {});

// This process's environment with the given "NAME=value" entries in place of its own.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& entries);

// The child's wait status once it has ended; nothing when it still runs at the limit.
std::optional<int> WaitForChild(pid_t pid, std::chrono::milliseconds limit);

std::string ReadText(const std::filesystem::path& path);

}  // namespace vantrel::testing
