#pragma once

#include <QString>

#include "settings/ProgramIdentity.h"

namespace vantrel {

// The title and the About box show the program's name and version whatever the executable is
// called; only message-box captions and the settings key follow the file name.
inline constexpr int kReleaseMonth = 10;
inline constexpr int kReleaseDay = 24;
inline constexpr int kReleaseYear = 2005;

// "Vantrel v1.00"
inline QString WindowTitle() {
    return QString::asprintf("%s v%s", kProgramName, kProgramVersion);
}
// "Version: 1.00"
inline QString VersionLine() {
    return QString::asprintf("Version: %s", kProgramVersion);
}
// "Date: 10/24/2005"
inline QString DateLine() {
    return QString::asprintf("Date: %02d/%02d/%d", kReleaseMonth, kReleaseDay, kReleaseYear);
}

}  // namespace vantrel
