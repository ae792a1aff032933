// The log's counts per station and port, as --stats prints them.
#include "reports/StatsReport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel {
namespace {

TEST(StatsReportTest, StatsOrderPortsByNumberAndFailuresByCount) {
    const std::vector<UnitCount> counts = {
        {"st-2", "COM10", "passed", std::nullopt, 4},
        {"st-2", "COM9", "failed", "Erase Failed...", 1},
        {"st-2", "COM9", "failed", "Force2Mon Failed...", 3},
        {"st-2", "COM9", "passed", std::nullopt, 4},
        {"st-2", "COM10", "not-flashed", std::nullopt, 7},
        {"st-1", "COM1", "failed", "Erase Failed...", 2},
    };
    const auto stations = GatherStats(counts);
    ASSERT_EQ(stations.size(), 2u);
    EXPECT_EQ(stations[0].station, "st-1");
    const StationStats& st2 = stations[1];
    ASSERT_EQ(st2.ports.size(), 2u);
    EXPECT_EQ(st2.ports[0].port, "COM9");
    EXPECT_EQ(st2.total.passed, 8);
    EXPECT_EQ(st2.total.failed, 4);
    ASSERT_EQ(st2.total.failures.size(), 2u);
    EXPECT_EQ(st2.total.failures[0],
              std::make_pair(std::string("Force2Mon Failed..."), std::int64_t{3}));

    const std::string text = StatsText(stations, "2024-05-31T00:00:00.000Z");
    EXPECT_NE(text.find("st-2             COM9        4       4   50.0%  Force2Mon Failed... (3), "
                        "Erase Failed... (1)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("st-2             all         8       4   66.7%"), std::string::npos)
        << text;
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(StatsJson(stations, ""))).object();
    EXPECT_EQ(json["stations"][1]["ports"][1].toObject(),
              QJsonDocument::fromJson(R"({"port": "COM10", "passed": 4, "failed": 0,
                  "yield_percent": 100.0, "failures": [], "unknown": 0})")
                  .object());
    EXPECT_TRUE(json["since"].isNull());
}

TEST(StatsReportTest, StatsShowLongAndOddNamesWholeOnOneLine) {
    const std::string longName(600, 's');
    const std::string text =
        StatsText(GatherStats({{longName, "COM1", "passed", std::nullopt, 2},
                               {"st-1\nst-2 COM1 99", "COM1", "failed", "Erase\tFailed...", 1}}),
                  "");
    EXPECT_NE(text.find(longName + " COM1        2       0  100.0%\n"), std::string::npos) << text;
    EXPECT_NE(
        text.find("st-1\\x0Ast-2 COM1 99 COM1        0       1    0.0%  Erase\\x09Failed... (1)"),
        std::string::npos)
        << text;
}

}  // namespace
}  // namespace vantrel
