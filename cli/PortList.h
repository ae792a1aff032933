#pragma once

#include <string>
#include <vector>

#include "serial/PortDirectory.h"

namespace vantrel {
class PortMapping;
}

namespace vantrel::cli {

// --list-ports: one aligned line per port under a heading (device, COM number mapped to it,
// VID:PID, serial number, manufacturer, description, by-id link; "-" for what is missing), or
// a line saying there are none.
std::string PortListText(const std::vector<DetectedPort>& ports, const PortMapping& mapping);
// {"ports": [{"device", "by_id", "description", "manufacturer", "serial_number", "vid_pid",
// "com"}]}; by_id and vid_pid are null where missing, com a list such as ["COM3"].
std::string PortListJson(const std::vector<DetectedPort>& ports, const PortMapping& mapping);

}  // namespace vantrel::cli
