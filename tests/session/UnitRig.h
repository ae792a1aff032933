#pragma once

#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "session/HeadlessSession.h"
#include "tests/session/SessionSupport.h"
#include "tools/unitsim/UnitSim.h"

namespace vantrel::testing {

// Simulated units without line time, and an erase short enough for a test.
sim::UnitOptions FastUnits();

// Units on a bench, each behind one loader port, and a headless session that ticks them all.
class UnitRig {
  public:
    UnitRig(const std::vector<int>& ports, sim::UnitOptions unit,
            std::map<unsigned, std::vector<sim::Fault>> faults = {});
    ~UnitRig();

    // A whole run on the ROM file; the session is stopped if it takes longer than the patience.
    std::optional<RunOutcome> Run(const RomFixture& rom,
                                  std::chrono::seconds patience = std::chrono::seconds(30));

    HeadlessSession& Session() { return *session_; }
    // Every unit back to its application, its counts cleared, as after switching it off and on.
    void PowerCycle() { bench_->PowerCycle(); }
    sim::UnitReport Report(int port) const;
    // What the unit behind the port logged, in order.
    std::vector<std::string> Log(int port);

  private:
    std::unique_ptr<sim::UnitBench> bench_;
    std::unique_ptr<HeadlessSession> session_;
    std::map<int, unsigned> unitOfPort_;
    std::mutex logMutex_;
    std::map<std::string, std::vector<std::string>> log_;
};

QString StageText(int stage);
QString FailText(int stage);
// The unit went through the whole download once and holds exactly the image.
void ExpectProgrammed(const sim::UnitReport& report, const std::vector<std::uint8_t>& image);

}  // namespace vantrel::testing
