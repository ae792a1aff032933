#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A child process: args[0] is the program. Its standard output goes to out (nothing: thrown
// away), its standard error stays the benchmark's. Exits the benchmark if it cannot start.
pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& out = {});

// SIGINT, then waits for the child; its exit status as waitpid gives it.
int Interrupt(pid_t pid);

struct Simulator {
    pid_t pid = -1;
    std::filesystem::path dir;
};

// vantrel-unitsim with units at the times the floors count, spinning, links in dir (made
// anew); returns once the last link is there.
Simulator StartSimulator(const std::string& program, int units, const std::filesystem::path& dir,
                         const std::vector<std::string>& extraArgs = {});

}  // namespace bench
