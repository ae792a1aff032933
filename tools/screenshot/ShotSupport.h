#pragma once

#include <QPixmap>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>

namespace vantrel::shot {

// Runs the event loop until done() holds; false when limitMs went by first.
bool ProcessUntil(const std::function<bool()>& done, int limitMs);

// Writes the bytes as an S-record ROM file at the pictures' base address; false when it cannot.
bool WriteRom(const QString& path, std::span<const std::uint8_t> bytes);

// Saves the picture as PNG, making its folder, and prints its path; false when it cannot.
bool SavePng(const QPixmap& picture, const QString& path);

}  // namespace vantrel::shot
