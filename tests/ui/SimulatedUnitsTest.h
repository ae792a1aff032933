#pragma once

#include <memory>

#include "serial/PortMapping.h"
#include "tests/ui/UiTestSupport.h"
#include "tools/unitsim/UnitSim.h"

namespace vantrel::testing {

// The window on simulated units whose ports the settings store maps, as in the program.
class SimulatedUnitsTest : public WindowTest {
  protected:
    void StartBench(const sim::BenchOptions& options) {
        bench_ = std::make_unique<sim::UnitBench>(options);
        for (unsigned number = 1; number <= options.count; ++number) {
            Seed("Ports", QStringLiteral("Com%1").arg(number),
                 QString::fromStdString(bench_->LinkPath(number)));
        }
        makeWindow_ = [this](CLoaderApp& app, const PortMapping&) {
            storeMapping_ = std::make_unique<SettingsPortMapping>(app.Settings());
            return std::make_unique<CLoaderDialog>(app, *storeMapping_);
        };
    }
    // The window goes before the units it talks to.
    ~SimulatedUnitsTest() override {
        window_.reset();
        bench_.reset();
    }

    std::unique_ptr<sim::UnitBench> bench_;
    std::unique_ptr<SettingsPortMapping> storeMapping_;
};

}  // namespace vantrel::testing
