#include "reports/StatsCharts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>

#include "reports/PageMarkup.h"

namespace vantrel {
namespace {

using Hour = std::chrono::sys_time<std::chrono::hours>;

constexpr const char* kEmptyColour = "#d0d7de";

// The wide charts are drawn 1000 units wide and scale to the page.
constexpr double kChartWidth = 1000;
// A failure text beside its bar is cut to this many characters; its tooltip has it whole.
constexpr std::size_t kLabelCharacters = 36;
// Failure kinds drawn per port; the rest are summed in one line.
constexpr std::size_t kChartFailures = 5;

// "2026-12-07T14", as the log's hours are named.
std::optional<Hour> ParseHour(const std::string& text) {
    int year = 0;
    unsigned month = 0, day = 0, hour = 0;
    char separator = 0;
    if (std::sscanf(text.c_str(), "%4d-%2u-%2u%c%2u", &year, &month, &day, &separator, &hour) !=
            5 ||
        separator != 'T' || hour > 23) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{month},
                                           std::chrono::day{day}};
    if (!date.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days{date} + std::chrono::hours{hour};
}

// "2026-12-07"
std::string DateText(Hour hour) {
    const std::chrono::year_month_day date{std::chrono::floor<std::chrono::days>(hour)};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

// "14:00"
std::string TimeText(Hour hour) {
    const auto hours = (hour - std::chrono::floor<std::chrono::days>(hour)).count();
    return (hours < 10 ? "0" : "") + std::to_string(hours) + ":00";
}

// A step of 1, 2 or 5 times a power of ten that divides 0..most into at most four.
std::int64_t GridStep(std::int64_t most) {
    for (std::int64_t power = 1;; power *= 10) {
        for (const std::int64_t factor : {1, 2, 5}) {
            if (power * factor * 4 >= most) {
                return power * factor;
            }
        }
    }
}

struct HourUnits {
    std::int64_t passed = 0;
    std::int64_t failed = 0;
};

}  // namespace

std::string Legend() {
    return "<span class=\"legend\"><span class=\"key passed\"></span>passed"
           "<span class=\"key failed\"></span>failed</span>";
}

// "66.7%", as --stats prints it; "-" without a finished unit.
std::string Percent(const PortStats& stats) {
    const auto yield = YieldText(stats);
    return yield ? *yield + "%" : "-";
}

std::string YieldChart(const std::vector<StationStats>& stations) {
    constexpr double kBarX = 150, kBarWidth = 560, kRow = 26, kBar = 16;
    std::string body;
    double y = 0;
    for (const StationStats& station : stations) {
        body += Label(0, y + 18, station.station, "strong");
        y += 28;
        const auto row = [&](const PortStats& port, bool total) {
            const std::string name = total ? "all ports" : port.port;
            const double top = y + (kRow - kBar) / 2;
            const double passed = kBarWidth * Share(port.passed, port.passed + port.failed);
            const std::string bars =
                port.passed + port.failed == 0
                    ? Rect(kBarX, top, kBarWidth, kBar, kEmptyColour)
                    : Rect(kBarX, top, passed, kBar, kPassedColour) +
                          Rect(kBarX + passed, top, kBarWidth - passed, kBar, kFailedColour);
            const auto yield = YieldText(port);
            body += Group(
                station.station + " " + name + ": " + (yield ? *yield + "% yield, " : "") +
                    Number(port.passed) + " passed, " + Number(port.failed) + " failed",
                Label(16, y + 17, name, total ? "strong" : nullptr) + bars +
                    Label(kBarX + kBarWidth + 14, y + 17, Percent(port), "strong") +
                    Label(kBarX + kBarWidth + 76, y + 17,
                          Number(port.passed) + " passed · " + Number(port.failed) + " failed",
                          "muted"));
            y += kRow;
        };
        for (const PortStats& port : station.ports) {
            row(port, false);
        }
        row(station.total, true);
        y += 10;
    }
    return "<div id=\"yield\">" + Svg(kChartWidth, y, "Yield per station and port", body) +
           "</div>\n";
}

std::string HoursCharts(const std::vector<HourCount>& counts) {
    std::map<std::string, std::map<Hour, HourUnits>> byStation;
    for (const HourCount& count : counts) {
        if (const auto hour = ParseHour(count.hour)) {
            HourUnits& units = byStation[count.station][*hour];
            units.passed += count.passed;
            units.failed += count.failed;
        }
    }
    if (byStation.empty()) {
        return "<p class=\"empty\">No finished runs.</p>\n";
    }
    Hour first = Hour::max(), last = Hour::min();
    std::int64_t most = 1;
    for (const auto& [station, hours] : byStation) {
        first = std::min(first, hours.begin()->first);
        last = std::max(last, hours.rbegin()->first);
        for (const auto& [hour, units] : hours) {
            most = std::max(most, units.passed + units.failed);
        }
    }
    const std::int64_t span = (last - first).count() + 1;
    const std::int64_t step = GridStep(most);
    const std::int64_t top = (most + step - 1) / step * step;
    std::int64_t tickHours = 8760;
    for (const std::int64_t candidate : {1, 2, 3, 6, 12, 24, 48, 168, 336, 720, 2160}) {
        if (span / candidate < 8) {
            tickHours = candidate;
            break;
        }
    }
    constexpr double kLeft = 56, kRight = 975, kTop = 10, kPlot = 150;
    const double slot = (kRight - kLeft) / static_cast<double>(span);
    const double bar = std::min(48.0, slot > 6 ? slot * 0.8 : slot);
    const double base = kTop + kPlot;
    const auto x = [&](Hour hour) {
        return kLeft + slot * (static_cast<double>((hour - first).count()) + 0.5);
    };
    std::string axes;
    for (std::int64_t value = 0; value <= top; value += step) {
        const double y = base - kPlot * Share(value, top);
        axes += Line(kLeft, y, kRight, y) + Label(kLeft - 8, y + 4, Number(value), "end muted");
    }
    // The time under each tick, and the date under the first tick of each day.
    std::string lastDate;
    for (Hour hour = first; hour <= last; ++hour) {
        if (hour.time_since_epoch().count() % tickHours != 0) {
            continue;
        }
        const bool nearEnd = x(hour) + 34 > kChartWidth;
        const double at = nearEnd ? kChartWidth - 1 : x(hour);
        const char* classes = nearEnd ? "end muted" : "mid muted";
        double y = base + 18;
        if (tickHours < 24) {
            axes += Label(at, y, TimeText(hour), classes);
            y += 15;
        }
        if (DateText(hour) != lastDate) {
            lastDate = DateText(hour);
            axes += Label(at, y, lastDate, classes);
        }
    }
    std::string html;
    for (const auto& [station, hours] : byStation) {
        std::string body = axes;
        for (const auto& [hour, units] : hours) {
            const double passed = kPlot * Share(units.passed, top);
            const double failed = kPlot * Share(units.failed, top);
            body += Group(
                DateText(hour) + " " + TimeText(hour) + " UTC: " + Number(units.passed) +
                    " passed, " + Number(units.failed) + " failed",
                Rect(x(hour) - bar / 2, base - passed, bar, passed, kPassedColour) +
                    Rect(x(hour) - bar / 2, base - passed - failed, bar, failed, kFailedColour));
        }
        html += "<h3>" + Escaped(station) + "</h3>\n" +
                Svg(kChartWidth, base + 40, "Units per hour at " + station, body);
    }
    return "<div id=\"hours\">\n" + html + "</div>\n";
}

std::string FailuresCharts(const std::vector<StationStats>& stations) {
    constexpr double kWidth = 500, kTextEnd = 250, kBarX = 258, kBarWidth = 200, kRow = 22;
    std::int64_t most = 1;
    for (const StationStats& station : stations) {
        for (const PortStats& port : station.ports) {
            for (const auto& [text, count] : port.failures) {
                most = std::max(most, count);
            }
        }
    }
    std::string html;
    for (const StationStats& station : stations) {
        for (const PortStats& port : station.ports) {
            if (port.failures.empty()) {
                continue;
            }
            const std::string name = station.station + " " + port.port;
            std::string body;
            double y = 0;
            const std::size_t drawn = std::min(port.failures.size(), kChartFailures);
            for (std::size_t i = 0; i < drawn; ++i, y += kRow) {
                const auto& [text, count] = port.failures[i];
                const double width = std::max(2.0, kBarWidth * Share(count, most));
                body += Group(name + ": " + text + " (" + Number(count) + ")",
                              Label(kTextEnd, y + 15, Cut(text, kLabelCharacters), "end") +
                                  Rect(kBarX, y + 4, width, 14, kFailedColour) +
                                  Label(kBarX + width + 8, y + 15, Number(count), "strong"));
            }
            if (port.failures.size() > drawn) {
                std::int64_t rest = 0;
                for (std::size_t i = drawn; i < port.failures.size(); ++i) {
                    rest += port.failures[i].second;
                }
                body += Label(kTextEnd, y + 15,
                              Number(static_cast<std::int64_t>(port.failures.size() - drawn)) +
                                  " other texts (" + Number(rest) + ")",
                              "end muted");
                y += kRow;
            }
            html += "<figure><figcaption>" + Escaped(station.station) + " · " + Escaped(port.port) +
                    "</figcaption>" +
                    Svg(kWidth, y + 4, "Most frequent failures at " + name, body) + "</figure>\n";
        }
    }
    if (html.empty()) {
        return "<p class=\"empty\">No failures.</p>\n";
    }
    return "<div class=\"ports\" id=\"failures\">\n" + html + "</div>\n";
}

}  // namespace vantrel
