#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Baud, parity letter, data bits and stop bits, as the text "%d,%C,%d,%d" carries them.
struct LineSettings {
    int baud = 9600;
    char parity = 'N';  // N, O, E, M or S
    int dataBits = 8;
    int stopBits = 1;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// A positive baud, a parity letter of the five, 5 to 8 data bits, 1 or 2 stop bits.
bool IsValidLineSettings(const LineSettings& settings);
std::string FormatLineSettings(const LineSettings& settings);
// Reads a text such as "57600,N,8,1"; nothing when it is not of that form.
std::optional<LineSettings> ParseLineSettings(std::string_view text);

inline constexpr LineSettings kForceMonitorLine{9600, 'O', 8, 1};
inline constexpr LineSettings kMonitorLine{9600, 'N', 8, 1};
// The line once the Demon runs: no parity, at the speed the run asked the units for.
inline constexpr int kDefaultDemonBaud = 57600;
constexpr LineSettings DemonLine(int baud) {
    return {baud, 'N', 8, 1};
}
inline constexpr LineSettings kDemonLine = DemonLine(kDefaultDemonBaud);

}  // namespace vantrel
