#include "station/StatsPage.h"
#include "runlog/IsoTime.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLog.h"
#include "station/RunSummary.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace vantrel {
namespace {

using Hour = std::chrono::sys_time<std::chrono::hours>;

constexpr const char* kPassedColour = "#2e8540";
constexpr const char* kFailedColour = "#c8372d";
constexpr const char* kEmptyColour = "#d0d7de";

// The wide charts are drawn 1000 units wide and scale to the page.
constexpr double kChartWidth = 1000;
// A failure text beside its bar is cut to this many characters; its tooltip has it whole.
constexpr std::size_t kLabelCharacters = 36;
// Failure kinds drawn per port; the rest are summed in one line.
constexpr std::size_t kChartFailures = 5;

// No '<' or '&' in here: the page is well-formed XML as well as HTML.
constexpr const char* kStyle =
    "body{margin:0;background:#f4f5f7;color:#1f2328;"
    "font:14px/1.45 system-ui,-apple-system,'Segoe UI',Roboto,'Helvetica Neue','Noto Sans',"
    "'Liberation Sans',Arial,sans-serif}"
    "main{max-width:1080px;margin:0 auto;padding:28px 24px 40px}"
    "h1{font-size:22px;margin:0 0 4px}"
    "h2{font-size:16px;margin:0 0 12px}"
    "h3{font-size:13px;margin:14px 0 4px;color:#57606a}"
    "header p{margin:0;color:#57606a}"
    "section{background:#fff;border:1px solid #d8dee4;border-radius:8px;padding:18px 20px;"
    "margin-top:18px}"
    ".tiles{display:flex;flex-wrap:wrap;gap:12px;margin-top:18px}"
    ".tile{flex:1 1 150px;background:#fff;border:1px solid #d8dee4;border-radius:8px;"
    "padding:12px 16px}"
    ".figure{display:block;font-size:26px;font-weight:600;font-variant-numeric:tabular-nums}"
    ".caption{color:#57606a}"
    ".passed{color:#2e8540}.failed{color:#c8372d}.unknown{color:#9a6700}"
    ".key{display:inline-block;width:10px;height:10px;border-radius:2px;margin:0 6px 0 14px}"
    ".key.passed{background:#2e8540}.key.failed{background:#c8372d}"
    ".legend{float:right;font-size:12px;color:#57606a}"
    "svg{display:block;width:100%;height:auto}"
    "svg text{font-size:12px;fill:#1f2328}"
    "svg .strong{font-weight:600}svg .muted{fill:#57606a}"
    "svg .end{text-anchor:end}svg .mid{text-anchor:middle}"
    "svg .grid{stroke:#e6e9ed;stroke-width:1}"
    "table{border-collapse:collapse;width:100%;font-variant-numeric:tabular-nums}"
    "th,td{padding:6px 10px;border-bottom:1px solid #e6e9ed;text-align:left;vertical-align:top}"
    "th{font-size:12px;font-weight:600;color:#57606a;text-transform:uppercase;"
    "letter-spacing:.03em}"
    "td.n,th.n{text-align:right}"
    "tr.total td{font-weight:600;background:#f6f8fa}"
    "td.note{color:#9a6700}"
    "p.empty{color:#57606a;margin:0}"
    ".ports{display:grid;grid-template-columns:repeat(auto-fill,minmax(340px,1fr));gap:6px 28px}"
    "figure{margin:0}figure svg{max-width:520px}"
    "figcaption{font-size:13px;font-weight:600;margin:6px 0 2px}";

// Log texts are anyone's: a station name or failure text never becomes markup.
std::string Escaped(const std::string& text) {
    QString escaped = QString::fromStdString(text).toHtmlEscaped();
    // Control characters have no place in a page.
    for (QChar& c : escaped) {
        if (c.unicode() < 0x20 && c != u'\t') {
            c = u' ';
        }
    }
    return escaped.toStdString();
}

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

double Share(std::int64_t part, std::int64_t whole) {
    return whole == 0 ? 0 : static_cast<double>(part) / static_cast<double>(whole);
}

// "2026-01-01 00:00 UTC" of an IsoUtc text.
std::string Moment(const std::string& iso) {
    return iso.size() < 16 ? iso : iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

// "66.7%", as --stats prints it; "-" without a finished unit.
std::string Percent(const PortStats& stats) {
    const auto yield = YieldText(stats);
    return yield ? *yield + "%" : "-";
}

// The first characters of a UTF-8 text, never a character cut in two.
std::string Cut(const std::string& text, std::size_t characters) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    return starts.size() <= characters ? text : text.substr(0, starts[characters - 1]) + "…";
}

std::string Rect(double x, double y, double width, double height, const char* fill) {
    return "<rect x=\"" + OneDecimal(x) + "\" y=\"" + OneDecimal(y) + "\" width=\"" +
           OneDecimal(width) + "\" height=\"" + OneDecimal(height) + "\" fill=\"" + fill + "\"/>";
}

std::string Line(double x1, double y1, double x2, double y2) {
    return "<line class=\"grid\" x1=\"" + OneDecimal(x1) + "\" y1=\"" + OneDecimal(y1) +
           "\" x2=\"" + OneDecimal(x2) + "\" y2=\"" + OneDecimal(y2) + "\"/>";
}

std::string Label(double x, double y, const std::string& text, const char* classes = nullptr) {
    std::string svg = "<text x=\"" + OneDecimal(x) + "\" y=\"" + OneDecimal(y) + "\"";
    if (classes != nullptr) {
        svg += std::string(" class=\"") + classes + "\"";
    }
    return svg + ">" + Escaped(text) + "</text>";
}

// A tooltip: whoever points at a bar reads its figures.
std::string Group(const std::string& title, const std::string& body) {
    return "<g><title>" + Escaped(title) + "</title>" + body + "</g>";
}

std::string Svg(double width, double height, const std::string& label, const std::string& body) {
    return "<svg viewBox=\"0 0 " + OneDecimal(width) + " " + OneDecimal(height) +
           "\" role=\"img\" aria-label=\"" + Escaped(label) + "\">" + body + "</svg>\n";
}

std::string Legend() {
    return "<span class=\"legend\"><span class=\"key passed\"></span>passed"
           "<span class=\"key failed\"></span>failed</span>";
}

// Each port's units as one bar, passed on the left and failed on the right.
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

// One chart per station over the same hours and scale, so stations compare at a glance.
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

// Per port, its most frequent failure texts as bars, all on one scale.
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

std::string Tile(const std::string& figure, const std::string& caption, const char* tone) {
    return std::string("<div class=\"tile\"><span class=\"figure ") + tone + "\">" + figure +
           "</span><span class=\"caption\">" + caption + "</span></div>";
}

std::string Tiles(const std::vector<StationStats>& stations) {
    PortStats all;
    for (const StationStats& station : stations) {
        all.passed += station.total.passed;
        all.failed += station.total.failed;
        all.unknown += station.total.unknown;
    }
    std::string tiles = "<div class=\"tiles\">" + Tile(Percent(all), "yield", "") +
                        Tile(Number(all.passed), "units passed", "passed") +
                        Tile(Number(all.failed), "units failed", "failed") +
                        Tile(Number(static_cast<std::int64_t>(stations.size())), "stations", "");
    if (all.unknown > 0) {
        tiles += Tile(Number(all.unknown), "units of unfinished runs", "unknown");
    }
    return tiles + "</div>\n";
}

// The rows --stats prints, cell for cell.
std::string CountsTable(const std::vector<StationStats>& stations) {
    std::string html =
        "<table id=\"counts\"><thead><tr><th>Station</th><th>Port</th><th class=\"n\">Passed</th>"
        "<th class=\"n\">Failed</th><th class=\"n\">Yield</th><th>Most frequent failures</th>"
        "</tr></thead><tbody>\n";
    const auto row = [&](const std::string& station, const PortStats& port, bool total) {
        html += std::string(total ? "<tr class=\"total\">" : "<tr>") + "<td>" + Escaped(station) +
                "</td><td>" + Escaped(port.port) + "</td><td class=\"n\">" + Number(port.passed) +
                "</td><td class=\"n\">" + Number(port.failed) + "</td><td class=\"n\">" +
                Percent(port) + "</td><td>" + Escaped(TopFailuresText(port)) + "</td></tr>\n";
    };
    for (const StationStats& station : stations) {
        for (const PortStats& port : station.ports) {
            row(station.station, port, false);
        }
        row(station.station, station.total, true);
        if (station.total.unknown > 0) {
            html += "<tr><td class=\"note\" colspan=\"6\">" + Escaped(station.station) + ": " +
                    Number(station.total.unknown) +
                    " unit(s) of runs that did not finish, possibly erased and not "
                    "flashed</td></tr>\n";
        }
    }
    if (stations.empty()) {
        html += "<tr><td colspan=\"6\">(no units)</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

}  // namespace

std::string StatsPage(const StatsPageData& data) {
    // The style is let in by its hash; nothing else may load or run.
    const std::string styleHash =
        QCryptographicHash::hash(QByteArray::fromStdString(kStyle), QCryptographicHash::Sha256)
            .toBase64()
            .toStdString();
    const std::string runs = data.since.empty() ? "all runs" : "runs since " + Moment(data.since);
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'sha256-" +
           styleHash +
           "'; base-uri 'none'; form-action 'none'\"/>\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
           "<title>Vantrel stats: " +
           Escaped(data.target) + ", " + Escaped(runs) + "</title>\n<style>" + kStyle +
           "</style>\n</head>\n<body>\n<main>\n<header><h1>Run log " + Escaped(data.target) +
           "</h1><p>" + Escaped(runs) + " · made " + Escaped(Moment(data.generatedAt)) +
           " by Vantrel</p></header>\n" + Tiles(data.stations) +
           "<section><h2>Yield per station and port" + Legend() + "</h2>\n" +
           (data.stations.empty() ? "<p class=\"empty\">No units.</p>\n"
                                  : YieldChart(data.stations)) +
           "</section>\n<section><h2>Units per hour (UTC)" + Legend() + "</h2>\n" +
           HoursCharts(data.hours) +
           "</section>\n<section><h2>Most frequent failures per port</h2>\n" +
           FailuresCharts(data.stations) + "</section>\n<section><h2>Counts</h2>\n" +
           CountsTable(data.stations) + "</section>\n</main>\n</body>\n</html>\n";
}

std::optional<std::string> WriteStatsPage(const std::string& path, const std::string& page) {
    QSaveFile file(QString::fromStdString(path));
    const auto size = static_cast<qint64>(page.size());
    // Uncommitted, the temporary file goes with the object.
    if (!file.open(QIODevice::WriteOnly) || file.write(page.data(), size) != size ||
        !file.commit()) {
        return file.errorString().toStdString();
    }
    return std::nullopt;
}

std::optional<std::string> WriteLogPage(const std::string& target, const std::string& since,
                                        const std::string& path) {
    std::optional<std::string> writeError;
    const auto readError = ReadLog(target, [&](RunLog& log) {
        const StatsPageData page{ShownLogTarget(target), since,
                                 IsoUtc(std::chrono::system_clock::now()),
                                 GatherStats(log.Counts(since)), log.UnitsPerHour(since)};
        writeError = WriteStatsPage(path, StatsPage(page));
    });
    if (readError) {
        return *readError + "; " + path + " not written";
    }
    if (writeError) {
        std::replace_if(
            writeError->begin(), writeError->end(), [](char c) { return c == '\n'; }, ' ');
        return "cannot write " + path + ": " + *writeError;
    }
    return std::nullopt;
}

}  // namespace vantrel
