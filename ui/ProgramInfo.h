#pragma once

#include <QString>

namespace vantrel {

// The program's fixed identity. The title and the About box show these whatever the executable
// is called; only message-box captions and the settings key follow the file name.
inline constexpr const char* kProgramName = "Vantrel";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kReleaseMonth = 10;
inline constexpr int kReleaseDay = 24;
inline constexpr int kReleaseYear = 2005;

// "Vantrel v1.00"
inline QString WindowTitle() {
    return QString::asprintf("%s v%d.%02d", kProgramName, kVersionMajor, kVersionMinor);
}
// "Version: 1.00"
inline QString VersionLine() {
    return QString::asprintf("Version: %d.%02d", kVersionMajor, kVersionMinor);
}
// "Date: 10/24/2005"
inline QString DateLine() {
    return QString::asprintf("Date: %02d/%02d/%d", kReleaseMonth, kReleaseDay, kReleaseYear);
}

}  // namespace vantrel
