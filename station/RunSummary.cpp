#include "station/RunSummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <algorithm>
#include <cmath>
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

std::optional<double> YieldPercent(std::int64_t passed, std::int64_t failed) {
    const std::int64_t units = passed + failed;
    if (units == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(passed) / static_cast<double>(units);
}

double RoundedToOneDecimal(double value) {
    return std::round(value * 10.0) / 10.0;
}

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string LeftAligned(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string RightAligned(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

RunSummary BeginRunSummary(const BatchRequest& request,
                           const std::vector<std::pair<int, std::string>>& units) {
    RunSummary summary;
    summary.startedAt = std::chrono::system_clock::now();
    summary.runKey = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    summary.baud = request.demonBaud;
    summary.romPath = request.romPathText;
    summary.baseAddress = request.baseAddressText;
    for (const auto& [port, device] : units) {
        summary.units.push_back({port, device, {}, false});
    }
    return summary;
}

void TakeResult(RunSummary& summary, const BatchResult& result) {
    summary.outcome = result.outcome;
    summary.unitsTouched = result.unitsTouched;
    if (result.fileSha256) {
        summary.romSha256 = result.fileSha256;
        summary.romFileBytes = result.fileBytes;
    }
    if (!result.units.empty()) {
        summary.units = result.units;
    }
    summary.finishedAt = std::chrono::system_clock::now();
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
        text += LeftAligned(PortLabel(unit.port), 5) + ' ' + LeftAligned(unit.device, 24) + ' ' +
                LeftAligned(unit.complete ? "OK" : "FAILED", 8) + ' ' + unit.status +
                (unit.cause.empty() ? "" : " (" + unit.cause + ")") + '\n';
        complete += unit.complete;
    }
    text += std::to_string(complete) + " of " + std::to_string(units.size()) + " units complete (" +
            OutcomeName(outcome) + ")\n";
    return text;
}

QJsonObject RunSummary::JsonObject() const {
    QJsonArray messageArray;
    for (const std::string& message : messages) {
        messageArray.append(QString::fromStdString(message));
    }
    QJsonArray unitArray;
    for (const UnitResult& unit : units) {
        QJsonObject entry{{"port", QString::fromStdString(PortLabel(unit.port))},
                          {"device", QString::fromStdString(unit.device)},
                          {"status", QString::fromStdString(unit.status)},
                          {"complete", unit.complete},
                          {"result", QString::fromStdString(UnitResultName(*this, unit))}};
        if (!unit.cause.empty()) {
            entry.insert("cause", QString::fromStdString(unit.cause));
        }
        unitArray.append(entry);
    }
    return {{"rom", QString::fromStdString(romPath)},
            {"base_address", QString::fromStdString(baseAddress)},
            {"outcome", QString::fromStdString(OutcomeName(outcome))},
            {"exit_code", ExitCode()},
            {"messages", messageArray},
            {"units", unitArray}};
}

std::string RunSummary::Json(const QJsonObject& extraMembers) const {
    QJsonObject object = JsonObject();
    for (auto member = extraMembers.begin(); member != extraMembers.end(); ++member) {
        object.insert(member.key(), member.value());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace vantrel
