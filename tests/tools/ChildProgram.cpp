#include "tests/tools/ChildProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace vantrel::testing {
namespace {

std::vector<char*> NullTerminated(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

pid_t StartProgram(std::vector<std::string> arguments, const ChildStreams& streams,
                   std::vector<std::string> environment) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 1, streams.output.c_str(), kWrite, 0644);
    if (streams.errorsFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, streams.errorsFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, streams.errors.c_str(), kWrite, 0644);
    }
    if (streams.inputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, streams.inputFd, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    const std::vector<char*> argv = NullTerminated(arguments);
    const std::vector<char*> envp = NullTerminated(environment);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                                  environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& entries) {
    std::vector<std::string> environment = entries;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        const bool replaced = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return text.starts_with(entry.substr(0, entry.find('=') + 1));
        });
        if (!replaced) {
            environment.push_back(text);
        }
    }
    return environment;
}

std::optional<int> WaitForChild(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace vantrel::testing
