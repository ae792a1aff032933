#include "settings/PortLabel.h"

#include <cctype>
#include <charconv>

namespace vantrel {

std::string PortLabel(int port) {
    return "COM" + std::to_string(port);
}

std::optional<int> PortFromLabel(std::string_view label) {
    if (label.size() < 4 || label.size() > 5) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(label[i])) != "COM"[i]) {
            return std::nullopt;
        }
    }
    int number = 0;
    const char* begin = label.data() + 3;
    const char* end = label.data() + label.size();
    auto [next, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || next != end || *begin == '0') {
        return std::nullopt;
    }
    return number;
}

}  // namespace vantrel
