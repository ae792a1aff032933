#include "cli/StatsReport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "station/RunSummary.h"
#include "settings/PortLabel.h"

namespace vantrel::cli {
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

std::string Row(const std::string& station, const PortStats& stats) {
    char line[512];
    std::snprintf(line, sizeof line, "%-16s %-5s %7lld %7lld %7s  %s", station.c_str(),
                  stats.port.c_str(), static_cast<long long>(stats.passed),
                  static_cast<long long>(stats.failed),
                  (YieldText(stats).value_or("-") + "%").c_str(), TopFailuresText(stats).c_str());
    std::string row = line;
    row.erase(row.find_last_not_of(' ') + 1);  // no failures: no blanks at the end
    return row + "\n";
}

std::string JsonPort(const PortStats& stats) {
    std::string json =
        "{\"port\": " + JsonString(stats.port) + ", \"passed\": " + std::to_string(stats.passed) +
        ", \"failed\": " + std::to_string(stats.failed) +

        ", \"yield_percent\": " + YieldText(stats).value_or("null") + ", \"failures\": [";
    for (std::size_t i = 0; i < std::min(stats.failures.size(), kTopFailures); ++i) {
        json += std::string(i == 0 ? "" : ", ") +
                "{\"text\": " + JsonString(stats.failures[i].first) +
                ", \"count\": " + std::to_string(stats.failures[i].second) + "}";
    }
    return json + "], \"unknown\": " + std::to_string(stats.unknown) + "}";
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
            text += station.station + ": " + std::to_string(station.total.unknown) +
                    " unit(s) of runs that did not finish, possibly erased and not flashed\n";
        }
    }
    return stations.empty() ? text + "(no units)\n" : text;
}

std::string StatsJson(const std::vector<StationStats>& stations, const std::string& since) {
    std::string json =
        "{\n  \"since\": " + (since.empty() ? "null" : JsonString(since)) + ",\n  \"stations\": [";
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const StationStats& station = stations[i];
        json += std::string(i == 0 ? "\n" : ",\n") +
                "    {\"station\": " + JsonString(station.station) +
                ", \"total\": " + JsonPort(station.total) + ",\n     \"ports\": [";
        for (std::size_t p = 0; p < station.ports.size(); ++p) {
            json += std::string(p == 0 ? "" : ", ") + JsonPort(station.ports[p]);
        }
        json += "]}";
    }
    return json + (stations.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace vantrel::cli
