#include "reports/StatsReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "results/RunSummary.h"
#include "runlog/LogTarget.h"
#include "settings/PortLabel.h"

namespace vantrel {
namespace {

// "COM10" after "COM9"; anything else after the COM ports, by name.
bool PortBefore(const std::string& a, const std::string& b) {
    auto number = [](const std::string& port) { return PortFromLabel(port).value_or(1000); };
    return number(a) != number(b) ? number(a) < number(b) : a < b;
}

void Count(PortStats& stats, const UnitCount& count) {
    if (count.result == kPassedResult) {
        stats.passed += count.count;
        return;
    }
    stats.failed += count.count;
    const std::string text = count.failedText.value_or("(no text)");
    auto known = std::find_if(stats.failures.begin(), stats.failures.end(),
                              [&](const auto& failure) { return failure.first == text; });
    if (known == stats.failures.end()) {
        stats.failures.emplace_back(text, count.count);
    } else {
        known->second += count.count;
    }
}

void SortFailures(PortStats& stats) {
    std::sort(stats.failures.begin(), stats.failures.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
}

// A text of the log as one line of the report: a control character in a name written by
// another program could otherwise start a line of its own.
std::string OnOneLine(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string Row(const std::string& station, const PortStats& stats) {
    // Long names are shown whole; the columns after them move.
    std::string row = LeftAligned(OnOneLine(station), 16) + ' ' +
                      LeftAligned(OnOneLine(stats.port), 5) + ' ' +
                      RightAligned(std::to_string(stats.passed), 7) + ' ' +
                      RightAligned(std::to_string(stats.failed), 7) + ' ' +
                      RightAligned(YieldText(stats).value_or("-") + "%", 7) + "  " +
                      OnOneLine(TopFailuresText(stats));
    row.erase(row.find_last_not_of(' ') + 1);  // no failures: no blanks at the end
    return row + "\n";
}

QJsonObject JsonPort(const PortStats& stats) {
    QJsonArray failures;
    for (std::size_t i = 0; i < std::min(stats.failures.size(), kTopFailures); ++i) {
        failures.append(QJsonObject{{"text", QString::fromStdString(stats.failures[i].first)},
                                    {"count", static_cast<qint64>(stats.failures[i].second)}});
    }
    const auto yield = YieldPercent(stats.passed, stats.failed);
    return {{"port", QString::fromStdString(stats.port)},
            {"passed", static_cast<qint64>(stats.passed)},
            {"failed", static_cast<qint64>(stats.failed)},
            {"yield_percent",
             yield ? QJsonValue(RoundedToOneDecimal(*yield)) : QJsonValue(QJsonValue::Null)},
            {"failures", failures},
            {"unknown", static_cast<qint64>(stats.unknown)}};
}

}  // namespace

std::optional<std::string> YieldText(const PortStats& stats) {
    const auto percent = YieldPercent(stats.passed, stats.failed);
    if (!percent) {
        return std::nullopt;
    }
    return OneDecimal(*percent);
}

std::string TopFailuresText(const PortStats& stats) {
    std::string text;
    for (std::size_t i = 0; i < std::min(stats.failures.size(), kTopFailures); ++i) {
        text += (i == 0 ? "" : ", ") + stats.failures[i].first + " (" +
                std::to_string(stats.failures[i].second) + ")";
    }
    return text;
}

std::vector<StationStats> GatherStats(const std::vector<UnitCount>& counts) {
    std::map<std::string, std::map<std::string, PortStats>> byStation;
    for (const UnitCount& count : counts) {
        if (count.result != kPassedResult && count.result != kFailedResult &&
            count.result != kUnknownResult) {
            continue;
        }
        PortStats& port = byStation[count.station][count.comPort];
        port.port = count.comPort;
        if (count.result == kUnknownResult) {
            port.unknown += count.count;
            continue;
        }
        Count(port, count);
    }
    std::vector<StationStats> stations;
    for (auto& [name, ports] : byStation) {
        StationStats station{name, {"all", 0, 0, 0, {}}, {}};
        for (auto& [portName, port] : ports) {
            for (const auto& [text, n] : port.failures) {
                Count(station.total, {name, portName, kFailedResult, text, n});
            }
            station.total.passed += port.passed;
            station.total.unknown += port.unknown;
            SortFailures(port);
            station.ports.push_back(port);
        }
        SortFailures(station.total);
        std::sort(
            station.ports.begin(), station.ports.end(),
            [](const PortStats& a, const PortStats& b) { return PortBefore(a.port, b.port); });
        stations.push_back(station);
    }
    return stations;
}

std::string StatsText(const std::vector<StationStats>& stations, const std::string& since) {
    std::string text = since.empty() ? "" : "Runs since " + since + "\n";
    text += "STATION          PORT   PASSED  FAILED   YIELD  MOST FREQUENT FAILURES\n";
    for (const StationStats& station : stations) {
        for (const PortStats& port : station.ports) {
            text += Row(station.station, port);
        }
        text += Row(station.station, station.total);
        if (station.total.unknown > 0) {
            text += OnOneLine(station.station) + ": " + std::to_string(station.total.unknown) +
                    " unit(s) of runs that did not finish, possibly erased and not flashed\n";
        }
    }
    return stations.empty() ? text + "(no units)\n" : text;
}

std::string StatsJson(const std::vector<StationStats>& stations, const std::string& since) {
    QJsonArray stationArray;
    for (const StationStats& station : stations) {
        QJsonArray ports;
        for (const PortStats& port : station.ports) {
            ports.append(JsonPort(port));
        }
        stationArray.append(QJsonObject{{"station", QString::fromStdString(station.station)},
                                        {"total", JsonPort(station.total)},
                                        {"ports", ports}});
    }
    const QJsonObject report{
        {"since", since.empty() ? QJsonValue(QJsonValue::Null) : QString::fromStdString(since)},
        {"stations", stationArray}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented).toStdString();
}

void ReadLog(const std::string& target, const std::function<void(RunLog& log)>& read) {
    const auto parsed = ParseLogTarget(target);
    if (const auto* error = std::get_if<LogTargetError>(&parsed)) {
        throw ReportError(error->text);
    }
    try {
        RunLog log(std::get<LogTarget>(parsed), LogAccess::ReadOnly);
        read(log);
    } catch (const RunLogError& error) {
        throw ReportError("cannot read the log " + ShownLogTarget(target) + ": " + error.what());
    }
}

}  // namespace vantrel
