#include "results/RunSummary.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantrel {
namespace {

RunSummary TwoUnits(bool secondComplete) {
    RunSummary summary;
    summary.romPath = "/roms/fw \"new\".rom";
    summary.baseAddress = "00C10000";
    summary.outcome = RunOutcome::Completed;
    summary.units = {
        {1, "/dev/ttyS0", "FW Load Complete", true},
        {3, "/dev/ttyS2", secondComplete ? "FW Load Complete" : "Erase Failed...", secondComplete}};
    return summary;
}

TEST(RunSummaryTest, ExitCodeTellsCompleteFailedNothingFlashedAndInterrupted) {
    EXPECT_EQ(TwoUnits(true).ExitCode(), kExitAllComplete);
    EXPECT_EQ(TwoUnits(false).ExitCode(), kExitSomeFailed);

    RunSummary allFailed = TwoUnits(false);
    allFailed.outcome = RunOutcome::AllUnitsFailed;
    allFailed.units[0].complete = false;
    EXPECT_EQ(allFailed.ExitCode(), kExitSomeFailed);

    RunSummary imageError = TwoUnits(false);
    imageError.outcome = RunOutcome::ImageError;
    EXPECT_EQ(imageError.ExitCode(), kExitNothingFlashed);
    RunSummary notStarted = TwoUnits(false);
    notStarted.outcome.reset();
    EXPECT_EQ(notStarted.ExitCode(), kExitNothingFlashed);

    RunSummary stopped = TwoUnits(true);
    stopped.outcome = RunOutcome::Stopped;
    EXPECT_EQ(stopped.ExitCode(), kExitInterrupted);
    RunSummary interruptedBeforeStart = notStarted;
    interruptedBeforeStart.interrupted = true;
    EXPECT_EQ(interruptedBeforeStart.ExitCode(), kExitInterrupted);
}

TEST(RunSummaryTest, TextNamesEveryUnitAndTheCount) {
    const std::string text = TwoUnits(false).Text();
    EXPECT_NE(text.find("COM1  /dev/ttyS0"), std::string::npos) << text;
    EXPECT_NE(text.find("OK       FW Load Complete"), std::string::npos) << text;
    EXPECT_NE(text.find("FAILED   Erase Failed..."), std::string::npos) << text;
    EXPECT_NE(text.find("1 of 2 units complete (completed)"), std::string::npos) << text;
}

TEST(RunSummaryTest, JsonEscapesTextsAndCarriesTheExitCode) {
    RunSummary summary = TwoUnits(false);
    summary.messages = {"Error detected with the unit connected to COM 3: Erase Failed...",
                        "line one\n\nline two\t\x01"};
    const std::string text = summary.Json();
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    EXPECT_EQ(json["rom"].toString(), "/roms/fw \"new\".rom") << text;
    EXPECT_EQ(json["exit_code"].toInt(), 1);
    EXPECT_EQ(json["outcome"].toString(), "completed");
    EXPECT_EQ(json["messages"][1].toString(), "line one\n\nline two\t\x01") << text;
    EXPECT_NE(text.find("line one\\n\\nline two\\t\\u0001"), std::string::npos) << text;
    EXPECT_EQ(json["units"][1].toObject(), (QJsonObject{{"port", "COM3"},
                                                        {"device", "/dev/ttyS2"},
                                                        {"status", "Erase Failed..."},
                                                        {"complete", false},
                                                        {"result", "failed"}}))
        << text;
}

}  // namespace
}  // namespace vantrel
