// vantrel-unitsim: simulated units for trying the loader without hardware. See UnitSim.h.

#include <signal.h>
#include <stdlib.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "tools/unitsim/CommandLine.h"
#include "tools/unitsim/UnitSim.h"

int main(int argc, char** argv) {
    using namespace vantrel::sim;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = ParseCommandLine(args);
    if (!parsed.options) {
        std::fprintf(stderr, "%s: %s\n%s", argv[0], parsed.error.c_str(),
                     "Try --help for the options.\n");
        return 2;
    }
    const ProgramOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(UsageText(argv[0]).c_str(), stdout);
        return 0;
    }

    // Signals are taken by sigwait below; the unit threads inherit the mask. A shell starting
    // us in the background may have set SIGINT to be ignored, which would discard it unseen.
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) {
        std::signal(number, SIG_DFL);
        sigaddset(&signals, number);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        BenchOptions benchOptions = MakeBenchOptions(options);
        if (benchOptions.dir.empty()) {
            // Made here rather than by the bench, so the results outlive it.
            std::string pattern =
                (std::filesystem::temp_directory_path() / "vantrel-unitsim-XXXXXX");
            if (mkdtemp(pattern.data()) == nullptr) {
                std::perror("mkdtemp");
                return 1;
            }
            benchOptions.dir = pattern;
        }
        static std::mutex printMutex;
        if (!options.quiet) {
            benchOptions.log = [](const std::string& unit, const std::string& text) {
                std::lock_guard lock(printMutex);
                std::fprintf(stderr, "%s: %s\n", unit.c_str(), text.c_str());
            };
        }
        UnitBench bench(benchOptions);
        {
            std::lock_guard lock(printMutex);
            for (unsigned number = 1; number <= bench.Count(); ++number) {
                const auto& unit = bench.Unit(number);
                std::printf("%s %s %s\n", unit.Name().c_str(), unit.LinkPath().c_str(),
                            unit.SlavePath().c_str());
            }
            std::fflush(stdout);
        }

        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) != 0) {
                continue;
            }
            if (received == SIGUSR1) {
                bench.PowerCycle();
                continue;
            }
            if (received == SIGUSR2) {
                bench.SwapAll();
                continue;
            }
            break;
        }

        bench.Stop();
        for (const auto& path : bench.WriteResults(bench.Dir())) {
            std::lock_guard lock(printMutex);
            std::printf("wrote %s\n", path.c_str());
        }
        std::fflush(stdout);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
