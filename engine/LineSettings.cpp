#include "engine/LineSettings.h"

#include <charconv>
#include <cstdio>

namespace vantrel {
namespace {

bool ReadNumber(std::string_view& text, int& value) {
    const char* end = text.data() + text.size();
    auto [next, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || next == text.data()) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(next - text.data()));
    return true;
}

bool ReadComma(std::string_view& text) {
    if (text.empty() || text.front() != ',') {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

}  // namespace

bool IsValidLineSettings(const LineSettings& settings) {
    const std::string_view parities = "NOEMS";
    return settings.baud > 0 && parities.find(settings.parity) != parities.npos &&
           settings.dataBits >= 5 && settings.dataBits <= 8 && settings.stopBits >= 1 &&
           settings.stopBits <= 2;
}

std::string FormatLineSettings(const LineSettings& settings) {
    char text[48];
    std::snprintf(text, sizeof text, "%d,%c,%d,%d", settings.baud, settings.parity,
                  settings.dataBits, settings.stopBits);
    return text;
}

std::optional<LineSettings> ParseLineSettings(std::string_view text) {
    LineSettings settings;
    if (!ReadNumber(text, settings.baud) || !ReadComma(text) || text.empty()) {
        return std::nullopt;
    }
    settings.parity = text.front();
    text.remove_prefix(1);
    if (!ReadComma(text) || !ReadNumber(text, settings.dataBits) || !ReadComma(text) ||
        !ReadNumber(text, settings.stopBits) || !text.empty() || !IsValidLineSettings(settings)) {
        return std::nullopt;
    }
    return settings;
}

}  // namespace vantrel
