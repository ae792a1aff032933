#include "tests/cli/PostgresServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

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

namespace {

// A TCP port nothing listens on now: the kernel's choice for a socket bound to port 0.
int FreePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    close(probe);
    if (!bound) {
        throw std::runtime_error("no free TCP port");
    }
    return ntohs(address.sin_port);
}

}  // namespace

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
    Thaw();
    Stop();
    std::error_code error;
    fs::remove_all(dir_, error);
}

bool PostgresServer::AsOwner(const std::string& command) const {
    const std::string prefix = geteuid() == 0 ? "runuser -u postgres -- " : "";
    return std::system((prefix + command + " >>" + dir_ + "/out.log 2>&1").c_str()) == 0;
}

void PostgresServer::Start() {
    // No TCP unless TLS is asked for, and no fsync: a throwaway cluster.
    const std::string listen = tlsPort_ == 0 ? "''" : "'127.0.0.1' -p " + std::to_string(tlsPort_);
    if (!AsOwner(bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ +
                 "/server.log -w -t 60 -o \"-k " + dir_ + " -c listen_addresses=" + listen +
                 " -F\" start")) {
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

std::string PostgresServer::EnableTls() {
    Stop();
    const std::string data = dir_ + "/data";
    const std::string certificate = dir_ + "/server.crt";
    // Self-signed for localhost: its own authority, as a line's server with its own CA.
    if (!AsOwner("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost "
                 "-addext subjectAltName=DNS:localhost -keyout " +
                 data + "/server.key -out " + data + "/server.crt") ||
        !AsOwner("chmod 600 " + data + "/server.key")) {
        throw std::runtime_error("no certificate: " + CommandOutput("cat " + dir_ + "/out.log"));
    }
    std::filesystem::copy_file(data + "/server.crt", certificate);
    std::ofstream(data + "/postgresql.conf", std::ios::app) << "ssl = on\n";
    // Over TCP only with TLS.
    const std::string hba = CommandOutput("cat " + data + "/pg_hba.conf");
    std::ofstream(data + "/pg_hba.conf")
        << "hostssl all all 127.0.0.1/32 trust\nhost all all 127.0.0.1/32 reject\n"
        << hba;
    tlsPort_ = FreePort();
    Start();
    return certificate;
}

int PostgresServer::TlsPort() const {
    return tlsPort_;
}

std::string PostgresServer::Url(const std::string& database) const {
    return "postgresql://postgres@/" + database + "?host=" + dir_;
}

namespace {

// The server's processes: the postmaster (first line of postmaster.pid) and its children.
std::vector<pid_t> ServerProcesses(const std::string& data) {
    std::ifstream pidFile(data + "/postmaster.pid");
    pid_t postmaster = 0;
    pidFile >> postmaster;
    std::vector<pid_t> processes = {postmaster};
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...: the name may hold blanks, so read after its ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == postmaster && postmaster > 0) {
            processes.push_back(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
        }
    }
    return processes;
}

}  // namespace

void PostgresServer::Freeze() {
    for (const pid_t process : ServerProcesses(dir_ + "/data")) {
        kill(process, SIGSTOP);
    }
    frozen_ = true;
}

void PostgresServer::Thaw() {
    if (frozen_) {
        for (const pid_t process : ServerProcesses(dir_ + "/data")) {
            kill(process, SIGCONT);
        }
        frozen_ = false;
    }
}

std::string PostgresServer::Query(const std::string& sql, const std::string& database) const {
    const std::string port = tlsPort_ == 0 ? "" : " -p " + std::to_string(tlsPort_);
    return CommandOutput(bin_ + "/psql -X -At -h " + dir_ + port + " -U postgres -d " + database +
                         " -c \"" + sql + "\" 2>&1");
}

void PostgresServer::HoldLock(const std::string& table, int seconds) const {
    std::system((bin_ + "/psql -X -q -h " + dir_ +
                 " -U postgres -d postgres -c \"BEGIN; LOCK TABLE " + table +
                 " IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(" + std::to_string(seconds) +
                 ");\" >/dev/null 2>&1 &")
                    .c_str());
    // Held once the server shows a session waiting in pg_sleep.
    for (int i = 0; i < 500; ++i) {
        if (Query("SELECT COUNT(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation WHERE "
                  "c.relname = '" +
                  table + "' AND l.mode = 'AccessExclusiveLock' AND l.granted")
                .starts_with("1")) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace vantrel
