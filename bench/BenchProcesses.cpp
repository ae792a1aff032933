#include "bench/BenchProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/SequenceFloor.h"

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

pid_t Spawn(const std::vector<std::string>& args, const fs::path& out) {
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string outPath = out.empty() ? std::string("/dev/null") : out.string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, copies[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "cannot start %s\n", copies[0].c_str());
        std::exit(1);
    }
    return pid;
}

int Interrupt(pid_t pid) {
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

Simulator StartSimulator(const std::string& program, int units, const fs::path& dir,
                         const std::vector<std::string>& extraArgs) {
    // The units work at the times the floors count.
    constexpr vantrel::UnitTimes kUnitTimes{};
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<std::string> args = {program,
                                     "--dir",
                                     dir.string(),
                                     "--count",
                                     std::to_string(units),
                                     "--erase-ms",
                                     std::to_string(kUnitTimes.erase.count()),
                                     "--write-ms",
                                     std::to_string(kUnitTimes.write.count()),
                                     "--quiet",
                                     "--spin"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    Simulator sim{Spawn(args), dir};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(dir / ("com" + std::to_string(units)))) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "the simulator did not come up\n");
            std::exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return sim;
}

}  // namespace bench
