#pragma once

#include <ostream>
#include <string>

#include "cli/CliOptions.h"

namespace vantrel::cli {

// --inspect: reads the firmware file by the rule every run applies and prints what it would
// flash, or the reason it would be refused. Touches no port. Returns 0 when the file would
// flash, 2 when it would be refused.
int RunFirmwareFileReport(const InspectRequest& request, const std::string& baseAddressText,
                          std::ostream& out, std::ostream& err);

}  // namespace vantrel::cli
