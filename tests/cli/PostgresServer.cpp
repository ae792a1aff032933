#include "tests/cli/PostgresServer.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vantrel {

namespace fs = std::filesystem;

std::string CommandOutput(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    std::array<char, 4096> buffer{};
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        text.append(buffer.data(), got);
    }
    pclose(pipe);
    return text;
}

std::string PostgresServer::BinFolder() {
    const fs::path root = "/usr/lib/postgresql";
    std::error_code error;
    std::string best;
    for (const auto& version : fs::directory_iterator(root, error)) {
        const fs::path bin = version.path() / "bin";
        if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") && bin.string() > best) {
            best = bin.string();
        }
    }
    return best;
}

PostgresServer::PostgresServer() : bin_(BinFolder()) {
    char pattern[] = "/tmp/vantrel-pg-XXXXXX";
    if (bin_.empty() || mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("no PostgreSQL binaries or no temporary folder");
    }
    dir_ = pattern;
    try {
        if (geteuid() == 0) {
            const passwd* owner = getpwnam("postgres");
            if (owner == nullptr || chown(dir_.c_str(), owner->pw_uid, owner->pw_gid) != 0) {
                throw std::runtime_error("no postgres user to run the server as");
            }
        }
        if (!AsOwner(bin_ + "/initdb -D " + dir_ + "/data -U postgres -A trust")) {
            throw std::runtime_error("initdb failed: " + CommandOutput("cat " + dir_ + "/out.log"));
        }
        Start();
    } catch (...) {
        std::error_code error;
        fs::remove_all(dir_, error);
        throw;
    }
}

PostgresServer::~PostgresServer() {
    Stop();
    std::error_code error;
    fs::remove_all(dir_, error);
}

bool PostgresServer::AsOwner(const std::string& command) const {
    const std::string prefix = geteuid() == 0 ? "runuser -u postgres -- " : "";
    return std::system((prefix + command + " >>" + dir_ + "/out.log 2>&1").c_str()) == 0;
}

void PostgresServer::Start() {
    // No TCP at all, and no fsync: a throwaway cluster.
    if (!AsOwner(bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ +
                 "/server.log -w -t 60 -o \"-k " + dir_ + " -c listen_addresses='' -F\" start")) {
        throw std::runtime_error("the server did not start: " +
                                 CommandOutput("cat " + dir_ + "/out.log " + dir_ + "/server.log"));
    }
    running_ = true;
}

void PostgresServer::Stop() {
    if (running_) {
        AsOwner(bin_ + "/pg_ctl -D " + dir_ + "/data -m fast -w -t 60 stop");
        running_ = false;
    }
}

std::string PostgresServer::Url() const {
    return "postgresql://postgres@/postgres?host=" + dir_;
}

std::string PostgresServer::Query(const std::string& sql) const {
    return CommandOutput(bin_ + "/psql -X -At -h " + dir_ + " -U postgres -d postgres -c \"" + sql +
                         "\" 2>&1");
}

}  // namespace vantrel
