// The tallies of a station's batches.
#include "results/StationTally.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "tests/results/TwoUnitBatch.h"

namespace vantrel {
namespace {

using testing::Batch;

TEST(StationTallyTest, TallyCountsFlashedUnitsAndKeepsTheLastFailure) {
    StationTally tally;
    tally.Add(Batch(RunOutcome::Completed, false));
    tally.Add(Batch(RunOutcome::Completed, true));
    tally.Add(Batch(RunOutcome::ImageError, false));  // a run, but no units
    const std::string text = tally.Text();
    EXPECT_NE(text.find("COM1        2       0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("COM2        1       1  Erase Failed...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("station: 3 runs, 4 units, 75.0 % yield, 1.5 s per run"), std::string::npos)
        << text;
    // No unit flashed yet has no yield, not 0 %.
    StationTally refusedOnly;
    refusedOnly.Add(Batch(RunOutcome::ImageError, false));
    EXPECT_EQ(refusedOnly.Counts(), "1 run, no units");
    EXPECT_TRUE(refusedOnly.Json()["yield_percent"].isNull());
    EXPECT_EQ(StationTally().Counts(), "no batch yet");
    EXPECT_EQ(tally.Json(),
              QJsonDocument::fromJson(R"({"runs": 3, "units": 4, "yield_percent": 75.0,
        "mean_run_seconds": 1.5, "ports": [
        {"port": "COM1", "passed": 2, "failed": 0, "last_failure": null},
        {"port": "COM2", "passed": 1, "failed": 1, "last_failure": "Erase Failed..."}]})")
                  .object());
}

TEST(StationTallyTest, ListedPortsComeFirstInTheirOrderAndOnce) {
    StationTally tally;
    tally.List({3, 2});
    tally.Add(Batch(RunOutcome::Completed, true));  // COM1 and COM2
    tally.List({2, 1});
    std::vector<int> order;
    for (const StationTally::Port& port : tally.Ports()) {
        order.push_back(port.port);
    }
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(tally.Ports()[0].passed + tally.Ports()[0].failed, 0) << "COM3 waits for a unit";
    EXPECT_EQ(tally.Counts().rfind("1 run, 2 units, 100.0 % yield", 0), 0u) << tally.Counts();
}

}  // namespace
}  // namespace vantrel
