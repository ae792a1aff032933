#include "results/RunSummary.h"

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

std::string PortRanges(std::vector<int> ports) {
    std::sort(ports.begin(), ports.end());
    std::string text;
    for (std::size_t i = 0; i < ports.size();) {
        std::size_t end = i;
        while (end + 1 < ports.size() && ports[end + 1] == ports[end] + 1) {
            ++end;
        }
        text += (text.empty() ? "" : ", ") + PortLabel(ports[i]);
        if (end >= i + 2) {
            text += "\u2013" + PortLabel(ports[end]);
            i = end + 1;
        } else {
            ++i;
        }
    }
    return text;
}

std::string CauseWithoutDevice(const UnitResult& unit) {
    std::string cause = unit.cause;
    if (cause.starts_with("device gone")) {
        return "device gone";
    }
    if (!unit.device.empty()) {
        for (std::size_t at = cause.find(unit.device); at != std::string::npos;
             at = cause.find(unit.device)) {
            cause.erase(at, unit.device.size());
        }
    }
    // What the path stood between: ": " before it, " " after it.
    for (const char* left : {": :", ":  ", " : "}) {
        for (std::size_t at = cause.find(left); at != std::string::npos; at = cause.find(left)) {
            cause.erase(at + 1, 1);
        }
    }
    const auto blank = [](char c) { return c == ' ' || c == ':'; };
    while (!cause.empty() && blank(cause.back())) {
        cause.pop_back();
    }
    while (!cause.empty() && blank(cause.front())) {
        cause.erase(cause.begin());
    }
    return cause;
}

std::vector<std::string> FailureLines(const RunSummary& summary) {
    std::vector<std::pair<std::string, std::vector<int>>> groups;
    for (const UnitResult& unit : summary.units) {
        if (unit.complete) {
            continue;
        }
        const std::string cause = CauseWithoutDevice(unit);
        const std::string text =
            unit.status.empty() ? "could not be opened" + (cause.empty() ? "" : " (" + cause + ")")
                                : unit.status + (cause.empty() ? "" : " (" + cause + ")");
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const auto& g) { return g.first == text; });
        if (group == groups.end()) {
            groups.push_back({text, {unit.port}});
        } else {
            group->second.push_back(unit.port);
        }
    }
    std::vector<std::string> lines;
    for (const auto& [text, ports] : groups) {
        lines.push_back(PortRanges(ports) + ": " + text);
    }
    return lines;
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

std::string UnitLine(const UnitResult& unit) {
    return LeftAligned(PortLabel(unit.port), 5) + ' ' + LeftAligned(unit.device, 24) + ' ' +
           LeftAligned(unit.complete ? "OK" : "FAILED", 8) + ' ' + unit.status +
           (unit.cause.empty() ? "" : " (" + unit.cause + ")");
}

QJsonObject UnitJson(const RunSummary& summary, const UnitResult& unit) {
    QJsonObject entry{{"port", QString::fromStdString(PortLabel(unit.port))},
                      {"device", QString::fromStdString(unit.device)},
                      {"status", QString::fromStdString(unit.status)},
                      {"complete", unit.complete},
                      {"result", QString::fromStdString(UnitResultName(summary, unit))}};
    if (!unit.cause.empty()) {
        entry.insert("cause", QString::fromStdString(unit.cause));
    }
    return entry;
}

std::string RunSummary::Text() const {
    // Units a refused file never reached are not failures: no rows for them.
    if (outcome == RunOutcome::ImageError) {
        return "nothing flashed (" + OutcomeName(outcome) + ")\n";
    }
    std::string text;
    std::size_t complete = 0;
    for (const UnitResult& unit : units) {
        text += UnitLine(unit) + '\n';
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
        unitArray.append(UnitJson(*this, unit));
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
