#include "results/StationTally.h"

#include <QJsonArray>
#include <algorithm>
#include <cstdio>
#include <numeric>

#include "settings/PortLabel.h"

namespace vantrel {
void StationTally::List(const std::vector<int>& ports) {
    for (const int number : ports) {
        if (std::none_of(ports_.begin(), ports_.end(),
                         [&](const Port& p) { return p.port == number; })) {
            ports_.push_back(Port{number, 0, 0, {}});
        }
    }
}

void StationTally::Add(const RunSummary& run) {
    ++runs_;
    runTime_ +=
        std::chrono::duration_cast<std::chrono::milliseconds>(run.finishedAt - run.startedAt);
    for (const UnitResult& unit : run.units) {
        auto port = std::find_if(ports_.begin(), ports_.end(),
                                 [&](const Port& p) { return p.port == unit.port; });
        if (port == ports_.end()) {
            port = ports_.insert(ports_.end(), Port{unit.port, 0, 0, {}});
        }
        if (!run.Flashed()) {
            continue;
        }
        if (unit.complete) {
            ++port->passed;
        } else {
            ++port->failed;
            port->lastFailure = unit.status;
        }
    }
}

int StationTally::Passed() const {
    return std::accumulate(ports_.begin(), ports_.end(), 0,
                           [](int sum, const Port& p) { return sum + p.passed; });
}

int StationTally::Units() const {
    return std::accumulate(ports_.begin(), ports_.end(), 0,
                           [](int sum, const Port& p) { return sum + p.passed + p.failed; });
}

double StationTally::YieldPercent() const {
    return vantrel::YieldPercent(Passed(), Units() - Passed()).value_or(0.0);
}

double StationTally::MeanRunSeconds() const {
    return runs_ == 0 ? 0.0 : static_cast<double>(runTime_.count()) / 1000.0 / runs_;
}

std::string StationTally::Text() const {
    std::string text = "PORT   PASSED  FAILED  LAST FAILURE\n";
    for (const Port& p : ports_) {
        char line[256];
        std::snprintf(line, sizeof line, "%-5s  %6d  %6d", PortLabel(p.port).c_str(), p.passed,
                      p.failed);
        text += line + (p.lastFailure.empty() ? "" : "  " + p.lastFailure) + "\n";
    }
    return text + StationLine();
}

std::string StationTally::Counts() const {
    if (runs_ == 0) {
        return "no batch yet";
    }
    const std::string runs = std::to_string(runs_) + (runs_ == 1 ? " run, " : " runs, ");
    // A yield of no unit would read as 0 %.
    if (Units() == 0) {
        return runs + "no units";
    }
    return runs + std::to_string(Units()) + " units, " + OneDecimal(YieldPercent()) + " % yield";
}

std::string StationTally::StationLine() const {
    return "station: " + Counts() +
           (runs_ > 0 ? ", " + OneDecimal(MeanRunSeconds()) + " s per run" : std::string()) + "\n";
}

QJsonObject StationTally::Json() const {
    QJsonArray portArray;
    for (const Port& p : ports_) {
        portArray.append(
            QJsonObject{{"port", QString::fromStdString(PortLabel(p.port))},
                        {"passed", p.passed},
                        {"failed", p.failed},
                        {"last_failure", p.lastFailure.empty()
                                             ? QJsonValue(QJsonValue::Null)
                                             : QJsonValue(QString::fromStdString(p.lastFailure))}});
    }
    return {{"runs", runs_},
            {"units", Units()},
            {"yield_percent", Units() == 0 ? QJsonValue(QJsonValue::Null)
                                           : QJsonValue(RoundedToOneDecimal(YieldPercent()))},
            {"mean_run_seconds", RoundedToOneDecimal(MeanRunSeconds())},
            {"ports", portArray}};
}

}  // namespace vantrel
