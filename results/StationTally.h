#pragma once

#include <QJsonObject>
#include <chrono>
#include <string>
#include <vector>

#include "results/RunSummary.h"

namespace vantrel {

// The counts of a loop so far: per port passed, failed and the last failure, and for the
// station runs, units, yield and the mean time of a run. A run that never reached its units
// counts as a run only.
class StationTally {
  public:
    struct Port {
        int port = 0;
        int passed = 0;
        int failed = 0;
        std::string lastFailure;
    };

    void Add(const RunSummary& run);
    // Lists these ports now, in this order, before any of their units ends: a watched port
    // shows in the tally even while no unit came to it.
    void List(const std::vector<int>& ports);

    // Ports in the order they first ran.
    const std::vector<Port>& Ports() const { return ports_; }
    // "station: 3 runs, 48 units, 95.8 % yield, 141.2 s per run"; without a unit flashed yet,
    // "station: 1 run, no units"
    std::string StationLine() const;
    // "3 runs, 48 units, 95.8 % yield", "no batch yet", "1 run, no units"
    std::string Counts() const;

    // A small table for the terminal.
    std::string Text() const;
    // The value of member "tally" of a JSON summary.
    QJsonObject Json() const;

  private:
    int Units() const;
    int Passed() const;
    double YieldPercent() const;
    double MeanRunSeconds() const;

    std::vector<Port> ports_;
    int runs_ = 0;
    std::chrono::milliseconds runTime_{0};
};

}  // namespace vantrel
