// A device the user may not open, as the command line reports it. Root opens every device, so
// as root the program runs as nobody.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "image/SRecordWriter.h"

namespace vantrel {
namespace {

// Exit codes of the child before it becomes the program: it could not be made unprivileged.
constexpr int kCannotDrop = 120;
constexpr int kCannotRun = 121;

TEST(AccessDenied, TheCommandLineNamesTheDeviceAndTheWayIn) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string device = ptsname(master);
    // Open to its group alone, as an adapter is to dialout.
    const group* dialout = getgrnam("dialout");
    if (getuid() == 0 && dialout != nullptr) {
        ASSERT_EQ(chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
    }
    struct stat status {};
    const passwd* nobody = getpwnam("nobody");
    if (chmod(device.c_str(), 0060) != 0 || stat(device.c_str(), &status) != 0 ||
        (getuid() == 0 && nobody == nullptr)) {
        GTEST_SKIP() << "cannot make a device this test may not open";
    }
    const std::string group = getgrgid(status.st_gid)->gr_name;

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    std::string env0 = "XDG_CONFIG_HOME=/nonexistent";
    char* const env[] = {env0.data(), nullptr};
    // A good ROM file that anyone may read: the port is the only thing refused.
    char romPath[] = "/tmp/vantrel-access-XXXXXX";
    const int romFd = mkstemp(romPath);
    ASSERT_GE(romFd, 0);
    const std::string rom = FormatS3Records(std::vector<std::uint8_t>(16, 0x5A), 0x00C10000);
    ASSERT_EQ(write(romFd, rom.data(), rom.size()), static_cast<ssize_t>(rom.size()));
    close(romFd);
    chmod(romPath, 0644);
    const char* argv[] = {VANTREL_CLI_PATH, "--rom", romPath, device.c_str(), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                              setuid(nobody->pw_uid) != 0)) {
            _exit(kCannotDrop);
        }
        if (access(device.c_str(), R_OK) == 0) {
            _exit(kCannotDrop);
        }
        execve(argv[0], const_cast<char* const*>(argv), env);
        _exit(kCannotRun);
    }
    close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    close(master);
    int exit = 0;
    waitpid(pid, &exit, 0);
    unlink(romPath);
    if (WEXITSTATUS(exit) == kCannotDrop || WEXITSTATUS(exit) == kCannotRun) {
        GTEST_SKIP() << "cannot run the program unprivileged from here";
    }
    EXPECT_EQ(WEXITSTATUS(exit), 2) << text;
    EXPECT_NE(text.find("Failed to open Serial Port #1: Permission denied: " + device),
              std::string::npos)
        << text;
    // Joining the superuser's group is never the advice.
    const std::string advice =
        status.st_gid != 0 ? "members of group " + group + ". " : "ask the administrator";
    EXPECT_NE(text.find(advice), std::string::npos) << text;
}

}  // namespace
}  // namespace vantrel
