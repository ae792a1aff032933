#include <gtest/gtest.h>

#include "recording/BackgroundRecorder.h"

namespace vantrel {
namespace {

TEST(LogReportTextTest, EachReportIsNamedAndSetApart) {
    const struct {
        std::vector<std::string> reports;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{"run 41 did not finish"}, "Run log: run 41 did not finish"},
        {{"run 41 did not finish", "2 record(s) wait"},
         "Run log: run 41 did not finish\n\nRun log: 2 record(s) wait"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogReportText(c.reports), c.text);
    }
}

}  // namespace
}  // namespace vantrel
