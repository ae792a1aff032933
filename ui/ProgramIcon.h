#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantrel {

inline constexpr int kIconSize = 32;

// The program icon (resource 128): a firmware chip taking a download, 32 x 32 unless another
// size is asked for.
QPixmap ProgramIconPixmap(int size = kIconSize);
QIcon ProgramIcon();

}  // namespace vantrel
