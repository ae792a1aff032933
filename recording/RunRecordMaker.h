#pragma once

#include <functional>
#include <optional>
#include <string>

#include "results/RunSummary.h"
#include "runlog/RunRecord.h"
#include "serial/DeviceIdentity.h"

namespace vantrel {

// Who flashes: the names a record carries.
struct StationNames {
    std::string station;
    std::string operatorName;
};

// --station and --operator, else the host name and the login name.
StationNames DefaultStationNames(const std::optional<std::string>& station,
                                 const std::optional<std::string>& operatorName);

using DeviceLookup = std::function<DeviceIdentity(const QString& devicePath)>;

// The run as the log keeps it. Units of a run that never reached them were not flashed.
RunRecord MakeRunRecord(const RunSummary& summary, const StationNames& names,
                        const DeviceLookup& lookup = IdentifyDevice);

// The record written before the first byte goes to a unit: "running", every unit "unknown",
// until the run's end replaces it.
RunRecord MakeRunningRecord(const RunSummary& summary, const StationNames& names,
                            const DeviceLookup& lookup = IdentifyDevice);

}  // namespace vantrel
