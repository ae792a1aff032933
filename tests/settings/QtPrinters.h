#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <ostream>

// Readable Qt values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(QStringLiteral("\", \"")).prepend('"').append('"').toStdString()
         << ']';
}
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << "QRect(" << rect.x() << ", " << rect.y() << ", " << rect.width() << " x "
         << rect.height() << ')';
}
inline void PrintTo(const QSize& size, std::ostream* out) {
    *out << "QSize(" << size.width() << " x " << size.height() << ')';
}
