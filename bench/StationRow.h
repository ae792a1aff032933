#pragma once

#include <QString>
#include <filesystem>
#include <string>

namespace bench {

// A station at work: every port watched hands-free while one operator swaps finished units.
struct StationPlan {
    int ports = 16;
    int baud = 115200;
    double swapSeconds = 4;  // from pulling a finished unit to plugging the next one
    double seconds = 600;    // how long the station runs
};

struct HandsFreeMeasure {
    // Correct units per hour once the station is in its stride: per port, the completions after
    // its second over the time since the second, summed over the ports.
    double unitsPerHour = 0;
    double medianUnitSeconds = 0;   // from a unit's plug to its last frame
    int finished = 0;               // units that took the Demon and went quiet
    int correct = 0;                // finished with exactly the image in their flash
    int erasedTwice = 0;            // units erased more than once: must stay 0
    bool everyPortCounted = false;  // each port had three correct completions or more
};

// Runs vantrel-cli --watch on the simulator's ports with an operator swapping units.
HandsFreeMeasure MeasureHandsFree(const std::string& simulator, const std::string& cli,
                                  const StationPlan& plan, const std::filesystem::path& rom,
                                  const QString& imageSha256, const std::filesystem::path& work);

// One operator: each port needs a swap per flash, and the operator does one at a time.
double IdealUnitsPerHour(const StationPlan& plan, double flashSeconds);
// Lock-step batches: the operator swaps every port, then the whole batch flashes.
double LockStepUnitsPerHour(const StationPlan& plan, double batchSeconds);

}  // namespace bench
