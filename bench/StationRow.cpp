#include "bench/StationRow.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/BenchProcesses.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

// The simulator counts a unit finished after this long without a frame.
constexpr double kFinishQuietSeconds = 1.0;

QJsonArray UnitsSeenAt(const fs::path& dir, int port) {
    QFile file(
        QString::fromStdString((dir / ("com" + std::to_string(port) + "-units.json")).string()));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no report of port %d's units\n", port);
        std::exit(1);
    }
    return QJsonDocument::fromJson(file.readAll()).array();
}

}  // namespace

HandsFreeMeasure MeasureHandsFree(const std::string& simulator, const std::string& cli,
                                  const StationPlan& plan, const fs::path& rom,
                                  const QString& imageSha256, const fs::path& work) {
    char swap[32];
    std::snprintf(swap, sizeof swap, "%g", plan.swapSeconds);
    const Simulator sim =
        StartSimulator(simulator, plan.ports, work / "station", {"--operator", swap});
    // Settings and state of the benchmark's own: nothing of the user's is read or written.
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
    std::vector<std::string> args = {cli,          "--watch", "--rom",
                                     rom.string(), "--baud",  std::to_string(plan.baud)};
    for (int port = 1; port <= plan.ports; ++port) {
        args.push_back((sim.dir / ("com" + std::to_string(port))).string());
    }
    const pid_t watch = Spawn(args, work / "watch.out");
    std::this_thread::sleep_for(std::chrono::duration<double>(plan.seconds));
    Interrupt(watch);
    Interrupt(sim.pid);

    HandsFreeMeasure measure;
    measure.everyPortCounted = true;
    std::vector<double> unitSeconds;
    for (int port = 1; port <= plan.ports; ++port) {
        std::vector<double> completions;
        for (const QJsonValue& value : UnitsSeenAt(sim.dir, port)) {
            const QJsonObject unit = value.toObject();
            measure.erasedTwice += unit["erases"].toInt() > 1 ? 1 : 0;
            if (unit["finished_s"].isNull()) {
                continue;
            }
            ++measure.finished;
            // A unit the watch's end cut short went quiet too, with part of the image.
            if (unit["written_sha256"].toString() != imageSha256) {
                continue;
            }
            ++measure.correct;
            const double finished = unit["finished_s"].toDouble();
            completions.push_back(finished);
            unitSeconds.push_back(finished - kFinishQuietSeconds - unit["plugged_s"].toDouble());
        }
        std::sort(completions.begin(), completions.end());
        if (completions.size() < 3) {
            measure.everyPortCounted = false;
            continue;
        }
        // From the second completion on: every port starts with a unit, all of them finish
        // together, and the last port served waits a whole round of swaps once.
        measure.unitsPerHour += 3600.0 * static_cast<double>(completions.size() - 2) /
                                (completions.back() - completions[1]);
    }
    if (!unitSeconds.empty()) {
        std::nth_element(unitSeconds.begin(), unitSeconds.begin() + unitSeconds.size() / 2,
                         unitSeconds.end());
        measure.medianUnitSeconds = unitSeconds[unitSeconds.size() / 2];
    }
    return measure;
}

double IdealUnitsPerHour(const StationPlan& plan, double flashSeconds) {
    const double portsAllow = plan.ports * 3600.0 / (flashSeconds + plan.swapSeconds);
    return std::min(portsAllow, 3600.0 / plan.swapSeconds);
}

double LockStepUnitsPerHour(const StationPlan& plan, double batchSeconds) {
    return plan.ports * 3600.0 / (batchSeconds + plan.ports * plan.swapSeconds);
}

}  // namespace bench
