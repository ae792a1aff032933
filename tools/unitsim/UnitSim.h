#pragma once

// Simulated units: our bench for the loader, with no hardware attached.
//
// Each unit owns the master side of a pseudo-terminal and links DIR/comN to the slave, which the
// loader opens like any serial device. The unit keeps a slave descriptor of its own open, so the
// link stays usable while the loader opens and closes it as often as it likes.
//
// The unit, as it appears on the line:
//   application  The force-to-monitor packet (10 1E 4D 10 03) at 9600,O,8,1 enters the monitor.
//                Other bytes are the application's business and are ignored. No reply.
//   monitor      9600,N,8,1. ACKs the enquiry (05 0A 14 28) with 0x06. Takes LoadDemonChunk
//                frames into a 64 KiB RAM and ACKs each. RunDemon (start 0x800) starts the
//                Demon only when RAM from 0x800 holds the 5,630 bytes the loader sends (the
//                Demon text read through the image reader). No reply to RunDemon.
//   Demon        SetBaudRate (also taken by the monitor) changes the speed the unit listens at
//                from then on; no reply. Codes 12, 13, 14 select 38400, 57600, 115200; a rate
//                above the unit's maxBaud, and code 11 (the loader's "any other rate"), leave
//                the speed as it was, so the erase that follows at the new speed is not heard.
//                EraseFlash fills the flash with 0xFF and ACKs after the erase time.
//                LoadFirmwareChunk is written into the flash and ACKed after the write time; it is
//                refused before an erase, outside the flash, or when the bytes are already
//                programmed (writing only clears bits, as on real flash).
// Frames: 02 00 cmd len payload checksum 03, no escaping. A bad checksum, a bad length, a
// missing ETX, a frame cut off (100 ms without a byte) or a command the stage does not take is
// not acknowledged and goes into the report's protocol errors. The flash starts out as old
// firmware (0x00 bytes) so that a missing erase shows.
//
// Line settings: when bytes arrive the unit samples the settings the loader set on the slave
// (tcgetattr on the master) and treats bytes at settings it does not expect as line noise: it
// counts them and drops them, and they break a frame in progress. Linux ptys clear PARENB but
// keep PARODD, so odd parity is recognised by PARODD; a client that leaves PARODD set when it
// turns parity off (QSerialPort's NoParity does) looks like one sending odd parity, and is
// accepted at 9600,N too; its bytes are then timed at 11 bits.
//
// Timing: a byte counts as arrived once it would have crossed the line at the sampled speed (10
// bits a byte, 11 with parity); the unit then deals with each packet in turn, adds its own time
// (erase time, write time per firmware chunk), and its ACK reaches the loader one byte time
// later. UnitOptions::fast skips the line time both ways; UnitOptions::Fast() also zeroes the
// unit's own times.
//
// Faults, per unit (text form as taken by ParseFault and --fault):
//   silent              never sends a byte (also covers a unit that ignores the enquiry)
//   demon-stop:K        Demon chunk K and all later ones are taken but not acknowledged
//   fw-stop:K           the same for firmware chunks
//   demon-double-ack:K  Demon chunk K is acknowledged with two ACKs
//   fw-double-ack:K     the same for firmware chunk K
//   slow-erase          the erase takes 25 s, longer than the loader waits (20 s)
//   noise[:N]           N rubbish bytes (never 0x06; 3 by default) before every ACK
//   demon-hangup:K      closes the master side when Demon chunk K arrives
//   hangup:K            closes the master side when firmware chunk K arrives (also fw-hangup:K)
// A hung-up unit closes both pty descriptors and removes its link, like an adapter pulled out:
// the loader's open descriptor sees a hang-up, and opening the link again fails with ENOENT.
//
// Units come and go: each port (com1, com2, ...) holds one unit at a time, or none. Pull takes
// the unit away: the pty and its link stay, like a cable left hanging at the fixture, but what
// the loader writes is read and dropped unseen and nothing answers. Plug brings a fresh unit (in
// its application, old firmware in its flash, counts afresh), numbered 2, 3, ... at its port.
// A unit has finished once it took a Demon chunk and then for 1 s took no frame and did no work
// of its own (an erase): the loader completed it or gave it up. Force-to-monitor packets and
// enquiries are the loader's probes and do not count. A unit that has not taken the Demon 30 s
// after it came is given up. Plans pull and plug units on their own: BenchOptions::plug pulls each
// unit a random time after it finished and plugs a fresh one a random time later, every port from
// its own generator (seed + port number), so a run repeats; BenchOptions::operatorSwap has one
// operator swap the finished units one port at a time, first finished first served. Faults by port
// apply to every unit there; BenchOptions::instanceFaults to the N-th unit at a port only. A line
// that hung up stays gone: units plugged there later hear nothing.
//
// Reports: UnitReport holds the stages reached, the chunks taken, the protocol errors, the noise
// ignored, the flash with its written range, and the unit's number at its port with the times it
// was plugged, finished and pulled. Counts start afresh at a power cycle; the flash keeps its
// contents. Waiting for a report that changes is WaitUntil / WaitForState. Report() is the
// present (or last) unit's; History() has every unit plugged at the port, the flash of those gone
// kept only up to their highest written byte.
//
// The program, vantrel-unitsim (--help lists everything):
//   vantrel-unitsim --dir DIR --count N [--fault U[#N]:KIND[:K]]... [--erase-ms MS] [--write-ms MS]
//                   [--flash-base HEX] [--flash-size SIZE] [--max-baud [U:]N]... [--fast] [--quiet]
//                   [--plug AWAY:BACK [--seed N] | --operator SWAP]
// prints "comN DIR/comN /dev/pts/M" per unit, runs until SIGINT or SIGTERM (SIGUSR1 power-cycles
// every unit, SIGUSR2 swaps every unit for a fresh one), then writes DIR/comN.rom, the flash from
// the lowest to the highest address written since the last erase as S3 records of 32 bytes (so a
// clean download reads back as its ROM file), and DIR/comN.json, the report without the flash
// bytes, both of the port's last unit, and DIR/comN-units.json, the reports of every unit plugged
// there. --fast drops the line time and, unless given, the erase and write times. --plug times
// are seconds, S or MIN-MAX (e.g. 1-3:0.5-2).
//
// In-process use:
//   BenchOptions options;
//   options.count = 2;
//   options.unit = UnitOptions::Fast();
//   options.faults[2] = {{FaultKind::Silent}};
//   UnitBench bench(options);                  // links in a fresh temporary directory
//   open(bench.LinkPath(1).c_str(), ...);      // talk to com1
//   bench.Unit(1).WaitForState(UnitState::Erased, 2s);
//   UnitReport report = bench.Unit(1).Report();
//   bench.Unit(1).Plug();                      // a fresh unit 2 at com1
//   std::vector<UnitReport> units = bench.Unit(1).History();

#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tools/unitsim/Plugging.h"
#include "tools/unitsim/UnitModel.h"
#include "tools/unitsim/UnitOptions.h"
#include "tools/unitsim/UnitReport.h"

namespace vantrel::sim {

// Receives a unit's name and one logged text; called from the units' thread, and from whoever
// pulls or plugs a unit.
using LogSink = std::function<void(const std::string& unit, const std::string& text)>;

// The settings the slave's user has set, as seen through the master.
LineSample SampleLine(int masterFd);

// How a port makes each unit plugged into it.
struct PortOptions {
    UnitOptions unit;  // every unit's, the port's own faults included
    // Faults of the N-th unit plugged at the port only, by N (from 1).
    std::map<unsigned, std::vector<Fault>> instanceFaults;
    TimePoint origin = Clock::now();  // the reports' seconds count from here
};

// One port on a pseudo-terminal, with the unit plugged into it, if any. Its bench's thread looks
// after it: PrepareLook says what to wait for, Look deals with what came.
class SimulatedUnit {
  public:
    // Opens a pseudo-terminal and links linkPath to its slave. An existing symbolic link there is
    // replaced; anything else there is an error. Throws std::runtime_error on failure. The first
    // unit is plugged in from the start.
    SimulatedUnit(std::string name, std::string linkPath, PortOptions port, LogSink log = {});
    SimulatedUnit(std::string name, std::string linkPath, UnitOptions options, LogSink log = {});
    ~SimulatedUnit();
    SimulatedUnit(const SimulatedUnit&) = delete;
    SimulatedUnit& operator=(const SimulatedUnit&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Back to the application, as after switching the unit off and on; only a present unit.
    void PowerCycle();
    // The unit is taken away: the line stays, but whatever the loader writes is read and
    // dropped unseen, and nothing answers. Its pending answers and work go with it. `at` is the
    // time recorded; a plan passes the time it decided at.
    void Pull(TimePoint at = Clock::now());
    // A fresh unit arrives, numbered one more than the last, with old firmware in its flash. A
    // unit still present is pulled first.
    void Plug(TimePoint at = Clock::now());
    bool Present() const;
    PortStatus Status() const;

    // The present unit's report, or the last one's while none is present.
    UnitReport Report() const;
    // The reports of every unit plugged here so far, in order; the present (or last) one last.
    std::vector<UnitReport> History() const;
    // Waits until done(report) holds; done runs under the unit's lock, so keep it short and
    // do not call back into the unit. Returns whether it held before the timeout.
    bool WaitUntil(const std::function<bool(const UnitReport&)>& done,
                   std::chrono::milliseconds timeout) const;
    bool WaitForState(UnitState state, std::chrono::milliseconds timeout) const;

    // The bench's thread: fills fds (the wake-up and the line) and returns how long the unit
    // may wait at most; then, once the poll is over, deals with what it found.
    std::chrono::nanoseconds PrepareLook(std::span<pollfd, 2> fds);
    void Look(std::span<const pollfd, 2> fds);
    // Wakes the bench's thread through this unit.
    void Wake();

  private:
    UnitOptions OptionsFor(unsigned unit) const;
    double Seconds(TimePoint at) const;
    // With the lock held: the new unit's report says where and when it is.
    void Introduce(TimePoint pluggedAt);
    void PullLocked(TimePoint at);
    // With the lock held: records the first time the present unit finished.
    void NoteFinish(TimePoint now, std::vector<std::string>& logged);
    void Log(const std::string& text) const;
    void DrainLine();
    void CloseLine();
    void RemoveLink() const;

    std::string name_;
    std::string linkPath_;
    std::string slavePath_;
    LogSink log_;
    PortOptions port_;
    int masterFd_ = -1;
    int slaveFd_ = -1;  // ours, so the slave never sees its last close
    int wakeFds_[2] = {-1, -1};
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(4096);
    TimePoint hangupPauseEnd_{};  // the line is not looked at before then

    // Guards the members below, and the closing of the line's descriptors.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    UnitModel model_;  // the present unit, or the last while none is present
    PortStatus status_;
    std::vector<UnitReport> earlier_;  // the units gone before the last
    bool powerCycleRequested_ = false;
};

struct BenchOptions {
    unsigned count = 1;
    // Where the links go; empty makes a temporary directory that goes with the bench.
    std::string dir;
    UnitOptions unit;  // for every unit
    // Extra faults by unit number (1 for com1), for every unit plugged there.
    std::map<unsigned, std::vector<Fault>> faults;
    // Extra faults of one unit by (port number, its number at the port).
    std::map<std::pair<unsigned, unsigned>, std::vector<Fault>> instanceFaults;
    // Highest rates by unit number, over unit.maxBaud.
    std::map<unsigned, std::uint32_t> maxBaud;
    LogSink log;
    // The units' thread never sleeps: it looks at the lines without pause, as a unit's CPU
    // polls its UART. A sleeping thread sees a packet only after the kernel wakes it, and the
    // loader's write pays for that wake-up; a benchmark of the loader wants neither. Costs one
    // CPU core.
    bool spin = false;
    // Units pulled and plugged at random times, each port on its own. Not with operatorSwap.
    std::optional<PlugPlan> plug;
    // One operator swaps the units done with (finished or given up), one port at a time, first
    // done first served; a
    // swap takes this long from the pull to the plug. Not with plug.
    std::optional<std::chrono::milliseconds> operatorSwap;
};

// Units com1 to comN, linked as DIR/com1 to DIR/comN.
class UnitBench {
  public:
    explicit UnitBench(BenchOptions options);
    ~UnitBench();
    UnitBench(const UnitBench&) = delete;
    UnitBench& operator=(const UnitBench&) = delete;

    const std::string& Dir() const { return dir_; }
    unsigned Count() const { return static_cast<unsigned>(units_.size()); }
    // number counts from 1, like the link names. Throws std::out_of_range otherwise.
    SimulatedUnit& Unit(unsigned number) const;
    const std::string& LinkPath(unsigned number) const { return Unit(number).LinkPath(); }

    // Ends the units' thread; the reports stay readable. The ptys stay open until destruction.
    void Stop();
    void PowerCycle();
    // Pulls every present unit and plugs a fresh one at every port at once.
    void SwapAll();
    std::vector<UnitReport> Reports() const;
    // Writes comN.rom (the flash's written range as S-records) and comN.json of the last unit at
    // every port, and comN-units.json with the reports of every unit plugged there.
    // Returns the paths written. Throws std::runtime_error when a file cannot be written.
    std::vector<std::string> WriteResults(const std::string& dir) const;

  private:
    // One thread for all units: one wake-up serves every unit whose bytes are due together.
    void Run();
    // Takes the plugging steps due; returns how long the thread may sleep before the next.
    std::chrono::nanoseconds FollowPlugging(std::vector<PortStatus>& statuses);

    std::string dir_;
    bool ownsDir_ = false;
    bool spin_ = false;
    std::unique_ptr<Plugging> plugging_;  // the units' thread's only
    std::vector<std::unique_ptr<SimulatedUnit>> units_;
    std::atomic<bool> stopping_{false};
    std::mutex stopMutex_;
    std::thread thread_;
};

}  // namespace vantrel::sim
