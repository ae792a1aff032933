#pragma once

namespace vantrel {

// The window and the command line are one product: one name, one version. The name is also the
// settings profile the command line shares with the window.
inline constexpr const char* kProgramName = "Vantrel";
inline constexpr const char* kProgramVersion = "1.00";

}  // namespace vantrel
