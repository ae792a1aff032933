#include "tests/session/UnitRig.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/MonitorPackets.h"
#include "engine/UnitStage.h"

namespace vantrel::testing {

using namespace std::chrono_literals;

sim::UnitOptions FastUnits() {
    sim::UnitOptions options = sim::UnitOptions::Fast();
    options.eraseTime = 50ms;
    return options;
}

UnitRig::UnitRig(const std::vector<int>& ports, sim::UnitOptions unit,
                 std::map<unsigned, std::vector<sim::Fault>> faults) {
    sim::BenchOptions options;
    options.count = static_cast<unsigned>(ports.size());
    options.unit = std::move(unit);
    options.faults = std::move(faults);
    options.log = [this](const std::string& name, const std::string& text) {
        std::lock_guard lock(logMutex_);
        log_[name].push_back(text);
    };
    bench_ = std::make_unique<sim::UnitBench>(std::move(options));
    auto mapping = std::make_unique<TablePortMapping>();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const auto number = static_cast<unsigned>(i + 1);
        mapping->Set(ports[i], QString::fromStdString(bench_->LinkPath(number)));
        unitOfPort_[ports[i]] = number;
    }
    session_ = std::make_unique<HeadlessSession>(std::move(mapping));
    for (int port : ports) {
        EXPECT_TRUE(session_->Tick(port)) << "port " << port;
    }
}

UnitRig::~UnitRig() {
    // The ports go before the units they lead to.
    session_.reset();
    bench_.reset();
}

std::optional<RunOutcome> UnitRig::Run(const RomFixture& rom, std::chrono::seconds patience) {
    Watchdog watchdog(*session_, patience);
    auto outcome = session_->Run(HeadlessSession::Request(rom.Path(), "00C10000"));
    EXPECT_FALSE(watchdog.Fired()) << "the run took too long";
    return outcome;
}

sim::UnitReport UnitRig::Report(int port) const {
    return bench_->Unit(unitOfPort_.at(port)).Report();
}

std::vector<std::string> UnitRig::Log(int port) {
    std::lock_guard lock(logMutex_);
    return log_["com" + std::to_string(unitOfPort_.at(port))];
}

QString StageText(int stage) {
    return QString::fromUtf8(StageTextTable.at(static_cast<std::size_t>(stage)).data());
}

QString FailText(int stage) {
    return QString::fromUtf8(StageFailTextTable.at(static_cast<std::size_t>(stage)).data());
}

void ExpectProgrammed(const sim::UnitReport& report, const std::vector<std::uint8_t>& image) {
    SCOPED_TRACE(report.name);
    EXPECT_TRUE(report.Reached(sim::UnitState::Erased));
    EXPECT_EQ(report.erases, 1u);
    EXPECT_EQ(report.firmwareChunks, (image.size() + kMaxChunkData - 1) / kMaxChunkData);
    ASSERT_TRUE(report.lowestWritten.has_value());
    EXPECT_EQ(*report.lowestWritten, kFlashBase);
    const auto written = report.WrittenRange();
    EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin(), image.end()));
    for (const auto& error : report.protocolErrors) {
        ADD_FAILURE() << "protocol error: " << error;
    }
    EXPECT_EQ(report.noiseBytesIgnored, 0u);
}

}  // namespace vantrel::testing
