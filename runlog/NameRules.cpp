#include "runlog/NameRules.h"

#include <cstdint>

namespace vantrel {
namespace {

// The code point at the start of text and its length in bytes; nothing when the bytes there
// are not UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
std::optional<std::pair<std::uint32_t, std::size_t>> NextCodePoint(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t value = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80) {
        return std::pair{std::uint32_t{lead}, std::size_t{1}};
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1Fu, lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0Fu, lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07u, lowest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        value = (value << 6) | (byte(i) & 0x3Fu);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair{value, length};
}

bool IsControl(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

}  // namespace

std::optional<std::string> NameFault(std::string_view name) {
    if (name.empty()) {
        return "is empty";
    }
    while (!name.empty()) {
        const auto next = NextCodePoint(name);
        if (!next) {
            return "is not valid UTF-8";
        }
        if (IsControl(next->first)) {
            return "holds a control character (a line break, a tab, ...)";
        }
        name.remove_prefix(next->second);
    }
    return std::nullopt;
}

}  // namespace vantrel
