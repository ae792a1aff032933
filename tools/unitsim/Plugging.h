#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "tools/unitsim/FinishWatch.h"

namespace vantrel::sim {

// A unit that has not taken the Demon this long after it was plugged is given up.
inline constexpr std::chrono::seconds kGiveUpAfter{30};

struct Range {
    std::chrono::milliseconds min{0};
    std::chrono::milliseconds max{0};

    friend bool operator==(const Range&, const Range&) = default;
};

// Units plugged and pulled at random times, each port on its own.
struct PlugPlan {
    Range away;  // from a unit's finish to its pull
    Range back;  // from a pull to the next unit's plug
    std::uint32_t seed = 1;

    friend bool operator==(const PlugPlan&, const PlugPlan&) = default;
};

// The present (or last) unit at a port, as a plan sees it.
struct PortStatus {
    bool present = true;
    unsigned unit = 1;  // its number at the port
    TimePoint pluggedAt{};
    std::optional<TimePoint> pulledAt;
    std::optional<TimePoint> finishedAt;
    // It took the Demon: it finishes once it goes quiet, however long its flash takes.
    bool tookDemon = false;
};

// When the present unit is done with: when it finished, or kGiveUpAfter after its plug if that
// comes first and it never took the Demon; TimePoint::max() while a unit in its Demon works.
TimePoint DoneWithAt(const PortStatus& port);
bool FinishedInTime(const PortStatus& port);

struct PortStep {
    enum class Kind { Pull, Plug };
    unsigned port = 0;  // from 1
    Kind kind = Kind::Pull;

    friend bool operator==(const PortStep&, const PortStep&) = default;
};

// Decides when the units of a bench are pulled and plugged. ports[i] is port i + 1.
class Plugging {
  public:
    virtual ~Plugging() = default;
    // The steps due by now, in the order to take them.
    virtual std::vector<PortStep> Due(std::span<const PortStatus> ports, TimePoint now) = 0;
    // When the next step falls due as things stand; nothing when none is planned.
    virtual std::optional<TimePoint> Next(std::span<const PortStatus> ports) = 0;
};

// Durations within a range from one generator: the same seed gives the same draws, with any
// standard library (the distributions of <random> differ between them).
class DurationDraw {
  public:
    explicit DurationDraw(std::uint32_t seed) : engine_(seed) {}
    std::chrono::milliseconds operator()(const Range& range);

  private:
    std::mt19937 engine_;
};

// Every port on its own: a unit goes a random away time after it finished and a fresh one comes
// a random back time after that. Port n draws from seed + n, away then back for each unit.
class RandomPlugging final : public Plugging {
  public:
    RandomPlugging(const PlugPlan& plan, unsigned ports);
    std::vector<PortStep> Due(std::span<const PortStatus> ports, TimePoint now) override;
    std::optional<TimePoint> Next(std::span<const PortStatus> ports) override;

  private:
    struct Port {
        DurationDraw draw;
        unsigned unit = 0;  // the unit the times were drawn for
        std::chrono::milliseconds away{0};
        std::chrono::milliseconds back{0};
    };
    TimePoint StepTime(std::size_t index, const PortStatus& status);

    PlugPlan plan_;
    std::vector<Port> ports_;
};

// One person swapping units: first done with, first served, one port at a time. A swap pulls the
// unit when taken and plugs a fresh one `swap` later; then the next port waiting has its turn.
class OperatorQueue {
  public:
    explicit OperatorQueue(std::chrono::milliseconds swap) : swap_(swap) {}
    // The port's unit was done with at `at`; a port waits once.
    void Join(unsigned port, TimePoint at);
    // The port waits no more (its unit was swapped by other hands).
    void Leave(unsigned port);
    // The steps due by now, in order, taken now: a late look makes a late swap, never a short
    // one.
    std::vector<PortStep> Take(TimePoint now);
    std::optional<TimePoint> Next() const;

  private:
    struct Waiting {
        unsigned port;
        TimePoint since;
    };
    struct Swap {
        unsigned port;
        TimePoint plugAt;
    };

    std::chrono::milliseconds swap_;
    std::deque<Waiting> waiting_;  // by the time they were done with
    std::optional<Swap> swapping_;
};

// The operator at a bench: a port joins the queue when its unit is done with.
class OperatorPlugging final : public Plugging {
  public:
    explicit OperatorPlugging(std::chrono::milliseconds swap) : queue_(swap) {}
    std::vector<PortStep> Due(std::span<const PortStatus> ports, TimePoint now) override;
    std::optional<TimePoint> Next(std::span<const PortStatus> ports) override;

  private:
    OperatorQueue queue_;
    std::map<unsigned, unsigned> queued_;  // port: the unit it waits with
};

}  // namespace vantrel::sim
