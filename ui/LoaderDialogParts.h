#pragma once

// What the window's source files share.
#include <QLineEdit>
#include <QString>

namespace vantrel::window {

inline constexpr int kProgressMinimum = 0;
inline constexpr int kProgressMaximum = 100;

// The beginning of a text too long for its field, and the whole of it in the field's tooltip.
void ShowStatusText(QLineEdit& field, const QString& text);

}  // namespace vantrel::window
