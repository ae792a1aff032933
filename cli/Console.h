#pragma once

namespace vantrel::cli {

// Whether stderr is a terminal that draws the live display's control sequences; on Windows a
// console, whose handling of them is switched on here. Anything else gets plain lines.
bool LiveTerminalOnStderr();

}  // namespace vantrel::cli
