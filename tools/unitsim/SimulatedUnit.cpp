#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "tools/unitsim/UnitSim.h"

namespace vantrel::sim {
namespace {

// Longest sleep between looks at the line and the clock.
constexpr std::chrono::milliseconds kMaxPoll{200};
// Pause when nobody holds the slave open, so a hung-up master does not spin.
constexpr std::chrono::milliseconds kHangupPause{20};

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::uint32_t BaudOf(speed_t speed) {
    static constexpr std::pair<speed_t, std::uint32_t> kSpeeds[] = {
        {B0, 0},         {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},     {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},
        {B1800, 1800},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
    };
    for (const auto& [code, baud] : kSpeeds) {
        if (code == speed) {
            return baud;
        }
    }
    return 0;
}

void SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        throw SystemError("fcntl");
    }
}

// Replaces a symbolic link (or nothing) at path with one to target, in one step.
void PlaceLink(const std::string& target, const std::string& path) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        throw std::runtime_error(path + " exists and is not a symbolic link");
    }
    const std::string temporary = path + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        throw SystemError("symlink " + temporary);
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const auto error = SystemError("rename to " + path);
        unlink(temporary.c_str());
        throw error;
    }
}

PortOptions PortWith(UnitOptions options) {
    PortOptions port;
    port.unit = std::move(options);
    return port;
}

// A unit gone keeps only the flash up to its highest written byte: a long day at the bench
// plugs many units, and their written ranges are all that anyone reads back.
UnitReport Archived(UnitReport report) {
    const std::size_t kept =
        report.highestWritten ? *report.highestWritten - report.flashBase + 1 : 0;
    report.flash.resize(std::min(kept, report.flash.size()));
    report.flash.shrink_to_fit();
    return report;
}

std::unique_ptr<Plugging> MakePlugging(const BenchOptions& options) {
    if (options.plug && options.operatorSwap) {
        throw std::invalid_argument("units are plugged at random or by an operator, not both");
    }
    if (options.plug) {
        for (const Range& range : {options.plug->away, options.plug->back}) {
            if (range.min.count() < 0 || range.max < range.min) {
                throw std::invalid_argument("a plugging range needs 0 <= min <= max");
            }
        }
        return std::make_unique<RandomPlugging>(*options.plug, options.count);
    }
    if (options.operatorSwap) {
        if (options.operatorSwap->count() < 0) {
            throw std::invalid_argument("a swap cannot take less than no time");
        }
        return std::make_unique<OperatorPlugging>(*options.operatorSwap);
    }
    return nullptr;
}

}  // namespace

LineSample SampleLine(int masterFd) {
    termios settings{};
    if (tcgetattr(masterFd, &settings) != 0) {
        return {};
    }
    return {BaudOf(cfgetospeed(&settings)), (settings.c_cflag & PARENB) != 0,
            (settings.c_cflag & PARODD) != 0};
}

SimulatedUnit::SimulatedUnit(std::string name, std::string linkPath, UnitOptions options,
                             LogSink log)
    : SimulatedUnit(std::move(name), std::move(linkPath), PortWith(std::move(options)),
                    std::move(log)) {}

SimulatedUnit::SimulatedUnit(std::string name, std::string linkPath, PortOptions port, LogSink log)
    : name_(std::move(name)),
      linkPath_(std::move(linkPath)),
      log_(std::move(log)),
      port_(std::move(port)),
      model_(OptionsFor(1)) {
    try {
        masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
            throw SystemError("pseudo-terminal");
        }
        char slaveName[128];
        if (ptsname_r(masterFd_, slaveName, sizeof slaveName) != 0) {
            throw SystemError("ptsname");
        }
        slavePath_ = slaveName;
        slaveFd_ = open(slaveName, O_RDWR | O_NOCTTY);
        if (slaveFd_ < 0) {
            throw SystemError("open " + slavePath_);
        }
        // Raw 9600,N,8,1 until the loader says otherwise; a pty starts out echoing and cooked.
        termios settings{};
        tcgetattr(slaveFd_, &settings);
        cfmakeraw(&settings);
        settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB);
        settings.c_cflag |= CLOCAL | CREAD;
        cfsetspeed(&settings, B9600);
        if (tcsetattr(slaveFd_, TCSANOW, &settings) != 0) {
            throw SystemError("tcsetattr " + slavePath_);
        }
        SetNonBlocking(masterFd_);
        if (pipe(wakeFds_) != 0) {
            throw SystemError("pipe");
        }
        SetNonBlocking(wakeFds_[0]);
        SetNonBlocking(wakeFds_[1]);
        PlaceLink(slavePath_, linkPath_);
    } catch (...) {
        CloseLine();
        for (int& fd : wakeFds_) {
            if (fd >= 0) {
                close(fd);
            }
        }
        throw;
    }
    Introduce(port_.origin);
}

UnitOptions SimulatedUnit::OptionsFor(unsigned unit) const {
    UnitOptions options = port_.unit;
    if (const auto found = port_.instanceFaults.find(unit); found != port_.instanceFaults.end()) {
        options.faults.insert(options.faults.end(), found->second.begin(), found->second.end());
    }
    return options;
}

double SimulatedUnit::Seconds(TimePoint at) const {
    return std::chrono::duration<double>(at - port_.origin).count();
}

void SimulatedUnit::Introduce(TimePoint pluggedAt) {
    auto& report = model_.MutableReport();
    report.name = name_;
    report.linkPath = linkPath_;
    report.slavePath = slavePath_;
    report.unit = status_.unit;
    report.pluggedSeconds = Seconds(pluggedAt);
    status_.pluggedAt = pluggedAt;
}

void SimulatedUnit::NoteFinish(TimePoint now, std::vector<std::string>& logged) {
    if (status_.finishedAt) {
        return;
    }
    if (const auto finished = model_.FinishedBy(now)) {
        status_.finishedAt = finished;
        model_.MutableReport().finishedSeconds = Seconds(*finished);
        logged.push_back("unit " + std::to_string(status_.unit) + " finished");
    }
}

void SimulatedUnit::Log(const std::string& text) const {
    if (log_) {
        log_(name_, text);
    }
}

SimulatedUnit::~SimulatedUnit() {
    CloseLine();
    close(wakeFds_[0]);
    close(wakeFds_[1]);
    RemoveLink();
}

void SimulatedUnit::RemoveLink() const {
    // Leave a link alone that someone has since pointed elsewhere.
    char target[256];
    const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == slavePath_) {
        unlink(linkPath_.c_str());
    }
}

void SimulatedUnit::Pull(TimePoint at) {
    unsigned number = 0;
    {
        std::lock_guard lock(mutex_);
        if (!status_.present) {
            return;
        }
        PullLocked(at);
        number = status_.unit;
    }
    changed_.notify_all();
    Wake();
    Log("unit " + std::to_string(number) + " pulled");
}

void SimulatedUnit::PullLocked(TimePoint at) {
    // The model is left as it was and no longer advanced: what it had yet to send or do is lost.
    status_.present = false;
    status_.pulledAt = at;
    model_.MutableReport().pulledSeconds = Seconds(at);
}

void SimulatedUnit::Plug(TimePoint at) {
    unsigned number = 0;
    {
        std::lock_guard lock(mutex_);
        if (status_.present) {
            PullLocked(at);
        }
        // What the loader wrote to nobody must not reach the new unit.
        DrainLine();
        earlier_.push_back(Archived(std::move(model_.MutableReport())));
        number = status_.unit + 1;
        model_ = UnitModel(OptionsFor(number));
        status_ = PortStatus{};
        status_.unit = number;
        Introduce(at);
        powerCycleRequested_ = false;
    }
    changed_.notify_all();
    Wake();
    Log("unit " + std::to_string(number) + " plugged");
}

void SimulatedUnit::DrainLine() {
    if (masterFd_ < 0) {
        return;
    }
    tcflush(slaveFd_, TCOFLUSH);
    std::uint8_t drain[512];
    while (read(masterFd_, drain, sizeof drain) > 0) {
    }
}

bool SimulatedUnit::Present() const {
    std::lock_guard lock(mutex_);
    return status_.present;
}

PortStatus SimulatedUnit::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::vector<UnitReport> SimulatedUnit::History() const {
    std::lock_guard lock(mutex_);
    std::vector<UnitReport> history = earlier_;
    history.push_back(model_.Report());
    return history;
}

void SimulatedUnit::PowerCycle() {
    {
        std::lock_guard lock(mutex_);
        powerCycleRequested_ = true;
    }
    Wake();
}

void SimulatedUnit::Wake() {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(wakeFds_[1], &byte, 1);
}

void SimulatedUnit::CloseLine() {
    if (masterFd_ >= 0) {
        close(masterFd_);
        masterFd_ = -1;
    }
    if (slaveFd_ >= 0) {
        close(slaveFd_);
        slaveFd_ = -1;
    }
}

UnitReport SimulatedUnit::Report() const {
    std::lock_guard lock(mutex_);
    return model_.Report();
}

bool SimulatedUnit::WaitUntil(const std::function<bool(const UnitReport&)>& done,
                              std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(model_.Report()); });
}

bool SimulatedUnit::WaitForState(UnitState state, std::chrono::milliseconds timeout) const {
    return WaitUntil([state](const UnitReport& report) { return report.Reached(state); }, timeout);
}

std::chrono::nanoseconds SimulatedUnit::PrepareLook(std::span<pollfd, 2> fds) {
    const auto now = Clock::now();
    std::chrono::nanoseconds timeout = kMaxPoll;
    {
        std::lock_guard lock(mutex_);
        std::optional<TimePoint> due;
        if (status_.present) {
            due = model_.NextDue();
            // A finish time already past waits for the pending bytes, which NextDue covers.
            const auto finish = model_.FinishDue();
            if (!status_.finishedAt && finish && *finish > now) {
                due = std::min(due.value_or(*finish), *finish);
            }
        }
        if (due) {
            // To the microsecond: a unit that answers late by a rounded-up millisecond per
            // chunk would hide the loader's own time in a benchmark.
            timeout = std::clamp<std::chrono::nanoseconds>(*due - now, std::chrono::nanoseconds(0),
                                                           kMaxPoll);
        }
    }
    // A hung-up master reads as ready at once: not looked at for a while, so nothing spins.
    const bool pausing = now < hangupPauseEnd_;
    if (pausing) {
        timeout = std::min<std::chrono::nanoseconds>(timeout, hangupPauseEnd_ - now);
    }
    fds[0] = {wakeFds_[0], POLLIN, 0};
    fds[1] = {masterFd_ >= 0 && !pausing ? masterFd_ : -1, POLLIN, 0};
    return timeout;
}

void SimulatedUnit::Look(std::span<const pollfd, 2> fds) {
    if (fds[0].revents & POLLIN) {
        char drain[64];
        while (read(wakeFds_[0], drain, sizeof drain) > 0) {
        }
    }
    std::vector<std::uint8_t> received;
    LineSample line;
    TimePoint readTime;
    if (fds[1].fd >= 0 && fds[1].fd == masterFd_ && (fds[1].revents & POLLIN)) {
        // The bytes were in when the poll said so. Sample before reading, and read once per
        // sample: the loader may change the settings right after writing.
        readTime = Clock::now();
        line = SampleLine(masterFd_);
        const ssize_t n = read(masterFd_, buffer_.data(), buffer_.size());
        if (n > 0) {
            received.assign(buffer_.begin(), buffer_.begin() + n);
        } else if (n < 0 && errno == EIO) {
            hangupPauseEnd_ = Clock::now() + kHangupPause;
        }
    } else if (fds[1].fd >= 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
        hangupPauseEnd_ = Clock::now() + kHangupPause;
    }

    std::vector<std::uint8_t> output;
    std::vector<std::string> logged;
    bool hangup = false;
    {
        std::lock_guard lock(mutex_);
        if (!status_.present || readTime < status_.pluggedAt) {
            // Nobody there, or bytes written before the present unit came: dropped unseen.
            received.clear();
            powerCycleRequested_ = powerCycleRequested_ && status_.present;
        }
        if (powerCycleRequested_) {
            powerCycleRequested_ = false;
            model_.PowerCycle();
            if (slaveFd_ >= 0) {
                // Whatever the old session left in the line goes with the power.
                tcflush(slaveFd_, TCIOFLUSH);
            }
            received.clear();
        }
        if (status_.present) {
            if (!received.empty()) {
                model_.Receive(received, line, readTime);
            }
            const auto now = Clock::now();
            model_.Advance(now);
            output = model_.TakeOutput(now);
            hangup = model_.HangupRequested() && masterFd_ >= 0;
            logged = model_.TakeLog();
            status_.tookDemon = model_.FinishDue().has_value();
            NoteFinish(now, logged);
        }
    }
    if (!output.empty() && masterFd_ >= 0) {
        const ssize_t n = write(masterFd_, output.data(), output.size());
        const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (sent < output.size()) {
            std::lock_guard lock(mutex_);
            model_.NoteDropped(output.size() - sent);
        }
    }
    if (hangup) {
        std::lock_guard lock(mutex_);
        CloseLine();
        // Like an unplugged adapter: the name goes, so it cannot lead to a reused pty.
        RemoveLink();
    }
    changed_.notify_all();
    if (log_) {
        for (const auto& text : logged) {
            log_(name_, text);
        }
    }
}

UnitBench::UnitBench(BenchOptions options) : dir_(std::move(options.dir)), spin_(options.spin) {
    if (options.count == 0) {
        throw std::invalid_argument("a bench needs at least one unit");
    }
    const auto checkNumber = [&options](unsigned number, const char* what) {
        if (number == 0 || number > options.count) {
            throw std::invalid_argument(std::string(what) + " for unit " + std::to_string(number) +
                                        ", but units are numbered 1 to " +
                                        std::to_string(options.count));
        }
    };
    for (const auto& entry : options.faults) {
        checkNumber(entry.first, "fault");
    }
    for (const auto& entry : options.maxBaud) {
        checkNumber(entry.first, "highest rate");
    }
    for (const auto& [key, faults] : options.instanceFaults) {
        checkNumber(key.first, "fault");
        if (key.second == 0) {
            throw std::invalid_argument("units at a port are numbered from 1");
        }
    }
    plugging_ = MakePlugging(options);
    if (dir_.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantrel-units-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw SystemError("mkdtemp " + pattern);
        }
        dir_ = pattern;
        ownsDir_ = true;
    } else {
        std::filesystem::create_directories(dir_);
    }
    try {
        const TimePoint origin = Clock::now();
        for (unsigned number = 1; number <= options.count; ++number) {
            PortOptions port;
            port.origin = origin;
            port.unit = options.unit;
            if (const auto found = options.faults.find(number); found != options.faults.end()) {
                port.unit.faults.insert(port.unit.faults.end(), found->second.begin(),
                                        found->second.end());
            }
            if (const auto found = options.maxBaud.find(number); found != options.maxBaud.end()) {
                port.unit.maxBaud = found->second;
            }
            for (const auto& [key, faults] : options.instanceFaults) {
                if (key.first == number) {
                    port.instanceFaults[key.second] = faults;
                }
            }
            const std::string name = "com" + std::to_string(number);
            units_.push_back(std::make_unique<SimulatedUnit>(name, dir_ + "/" + name,
                                                             std::move(port), options.log));
        }
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        units_.clear();
        if (ownsDir_) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
        throw;
    }
}

UnitBench::~UnitBench() {
    Stop();
    units_.clear();
    if (ownsDir_) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

SimulatedUnit& UnitBench::Unit(unsigned number) const {
    if (number == 0 || number > units_.size()) {
        throw std::out_of_range("no unit " + std::to_string(number));
    }
    return *units_[number - 1];
}

void UnitBench::Stop() {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
    units_.front()->Wake();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::chrono::nanoseconds UnitBench::FollowPlugging(std::vector<PortStatus>& statuses) {
    const auto refresh = [&] {
        for (std::size_t i = 0; i < units_.size(); ++i) {
            statuses[i] = units_[i]->Status();
        }
    };
    refresh();
    const auto now = Clock::now();
    const auto steps = plugging_->Due(statuses, now);
    for (const PortStep& step : steps) {
        SimulatedUnit& unit = *units_[step.port - 1];
        if (step.kind == PortStep::Kind::Pull) {
            unit.Pull(now);
        } else {
            unit.Plug(now);
        }
    }
    if (!steps.empty()) {
        refresh();
    }
    const auto next = plugging_->Next(statuses);
    if (!next) {
        return kMaxPoll;
    }
    return std::clamp<std::chrono::nanoseconds>(*next - Clock::now(), std::chrono::nanoseconds(0),
                                                kMaxPoll);
}

void UnitBench::Run() {
    // Wake at the due time, not up to 50 µs after it: the units' lateness adds to every chunk.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<pollfd> fds(2 * units_.size());
    std::vector<PortStatus> statuses(units_.size());
    const auto unitFds = [&fds](std::size_t index) {
        return std::span<pollfd, 2>(&fds[2 * index], 2);
    };
    while (!stopping_) {
        std::chrono::nanoseconds timeout = plugging_ ? FollowPlugging(statuses) : kMaxPoll;
        for (std::size_t i = 0; i < units_.size(); ++i) {
            timeout = std::min(timeout, units_[i]->PrepareLook(unitFds(i)));
        }
        if (spin_) {
            timeout = std::chrono::nanoseconds::zero();
        }
        const timespec wait{static_cast<time_t>(timeout.count() / 1'000'000'000),
                            static_cast<long>(timeout.count() % 1'000'000'000)};
        if (ppoll(fds.data(), fds.size(), &wait, nullptr) < 0 && errno != EINTR) {
            break;
        }
        if (stopping_) {
            break;
        }
        for (std::size_t i = 0; i < units_.size(); ++i) {
            units_[i]->Look(unitFds(i));
        }
    }
}

void UnitBench::PowerCycle() {
    for (auto& unit : units_) {
        unit->PowerCycle();
    }
}

void UnitBench::SwapAll() {
    const auto now = Clock::now();
    for (auto& unit : units_) {
        unit->Plug(now);
    }
}

std::vector<UnitReport> UnitBench::Reports() const {
    std::vector<UnitReport> reports;
    for (const auto& unit : units_) {
        reports.push_back(unit->Report());
    }
    return reports;
}

std::vector<std::string> UnitBench::WriteResults(const std::string& dir) const {
    std::vector<std::string> written;
    const auto writeFile = [&written](const std::string& path, const std::string& text) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            throw std::runtime_error("cannot write " + path);
        }
        written.push_back(path);
    };
    for (const auto& unit : units_) {
        const UnitReport report = unit->Report();
        writeFile(dir + "/" + report.name + ".rom", FlashSRecords(report));
        writeFile(dir + "/" + report.name + ".json", ReportJson(report));
        writeFile(dir + "/" + report.name + "-units.json", ReportsJson(unit->History()));
    }
    return written;
}

}  // namespace vantrel::sim
