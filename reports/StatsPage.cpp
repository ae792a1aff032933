#include "reports/StatsPage.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include "reports/PageMarkup.h"
#include "reports/StatsCharts.h"
#include "results/RunSummary.h"
#include "runlog/IsoTime.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLog.h"

namespace vantrel {
namespace {

// "2026-01-01 00:00 UTC" of an IsoUtc text.
std::string Moment(const std::string& iso) {
    return iso.size() < 16 ? iso : iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

// The page's look, a resource of the program.
const std::string& Style() {
    static const std::string style = [] {
        QFile file(QStringLiteral(":/reports/StatsPage.css"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }();
    return style;
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
        QCryptographicHash::hash(QByteArray::fromStdString(Style()), QCryptographicHash::Sha256)
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
           Escaped(data.target) + ", " + Escaped(runs) + "</title>\n<style>" + Style() +
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

void WriteStatsPage(const std::string& path, const std::string& page) {
    QSaveFile file(QString::fromStdString(path));
    const auto size = static_cast<qint64>(page.size());
    // Uncommitted, the temporary file goes with the object.
    if (!file.open(QIODevice::WriteOnly) || file.write(page.data(), size) != size ||
        !file.commit()) {
        std::string cause = file.errorString().toStdString();
        std::replace(cause.begin(), cause.end(), '\n', ' ');
        throw ReportError("cannot write " + path + ": " + cause);
    }
}

void WriteLogPage(const std::string& target, const std::string& since, const std::string& path) {
    std::string page;
    try {
        ReadLog(target, [&](RunLog& log) {
            page =
                StatsPage({ShownLogTarget(target), since, IsoUtc(std::chrono::system_clock::now()),
                           GatherStats(log.Counts(since)), log.UnitsPerHour(since)});
        });
    } catch (const ReportError& error) {
        throw ReportError(std::string(error.what()) + "; " + path + " not written");
    }
    WriteStatsPage(path, page);
}

}  // namespace vantrel
