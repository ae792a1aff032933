#include "station/RunSummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

#include "runlog/RunRecord.h"
#include "settings/PortLabel.h"

namespace vantrel {

std::string OutcomeName(const std::optional<RunOutcome>& outcome) {
    if (!outcome) {
        return "not-started";
    }
    switch (*outcome) {
        case RunOutcome::Completed:
            return "completed";
        case RunOutcome::ImageError:
            return "image-error";
        case RunOutcome::AllUnitsFailed:
            return "all-units-failed";
        case RunOutcome::Stopped:
            return "stopped";
        case RunOutcome::InternalError:
            return "internal-error";
    }
    return "unknown";
}

std::string JsonString(const std::string& text) {
    // Qt's writer escapes the text; the brackets of the one-element array around it are cut off.
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2).toStdString();
}

std::optional<double> YieldPercent(std::int64_t passed, std::int64_t failed) {
    const std::int64_t units = passed + failed;
    if (units == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(passed) / static_cast<double>(units);
}

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

int RunSummary::ExitCode() const {
    if (interrupted || outcome == RunOutcome::Stopped) {
        return kExitInterrupted;
    }
    if (!outcome || *outcome == RunOutcome::ImageError) {
        return kExitNothingFlashed;
    }
    if (*outcome == RunOutcome::InternalError) {
        return kExitInternalError;
    }
    const bool allComplete =
        !units.empty() &&
        std::all_of(units.begin(), units.end(), [](const UnitResult& u) { return u.complete; });
    return *outcome == RunOutcome::Completed && allComplete ? kExitAllComplete : kExitSomeFailed;
}

std::string UnitResultName(const RunSummary& summary, const UnitResult& unit) {
    if (!summary.Flashed()) {
        return kNotFlashedResult;
    }
    return unit.complete ? kPassedResult : kFailedResult;
}

std::string RunSummary::Text() const {
    // Units a refused file never reached are not failures: no rows for them.
    if (outcome == RunOutcome::ImageError) {
        return "nothing flashed (" + OutcomeName(outcome) + ")\n";
    }
    std::string text;
    std::size_t complete = 0;
    for (const UnitResult& unit : units) {
        char line[512];
        std::snprintf(line, sizeof line, "%-5s %-24s %-8s %s%s\n", PortLabel(unit.port).c_str(),
                      unit.device.c_str(), unit.complete ? "OK" : "FAILED", unit.status.c_str(),
                      unit.cause.empty() ? "" : (" (" + unit.cause + ")").c_str());
        text += line;
        complete += unit.complete;
    }
    text += std::to_string(complete) + " of " + std::to_string(units.size()) + " units complete (" +
            OutcomeName(outcome) + ")\n";
    return text;
}

std::string RunSummary::Json(const std::string& extraMembers) const {
    std::string json = "{\n  \"rom\": " + JsonString(romPath) +
                       ",\n  \"base_address\": " + JsonString(baseAddress) +
                       ",\n  \"outcome\": " + JsonString(OutcomeName(outcome)) +
                       ",\n  \"exit_code\": " + std::to_string(ExitCode()) + ",\n  \"messages\": [";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        json += (i == 0 ? "" : ", ") + JsonString(messages[i]);
    }
    json += "],\n  \"units\": [";
    for (std::size_t i = 0; i < units.size(); ++i) {
        const UnitResult& unit = units[i];
        json += std::string(i == 0 ? "\n" : ",\n") +
                "    {\"port\": " + JsonString(PortLabel(unit.port)) +
                ", \"device\": " + JsonString(unit.device) +
                ", \"status\": " + JsonString(unit.status) +
                ", \"complete\": " + (unit.complete ? "true" : "false") +
                ", \"result\": " + JsonString(UnitResultName(*this, unit)) +
                (unit.cause.empty() ? "" : ", \"cause\": " + JsonString(unit.cause)) + "}";
    }
    json += units.empty() ? "]" : "\n  ]";
    if (!extraMembers.empty()) {
        json += ",\n  " + extraMembers;
    }
    json += "\n}\n";
    return json;
}

}  // namespace vantrel
