#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vantrel {

// 0 to 15 for a hex digit of either case, -1 for anything else.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Exactly `digits` hex digits starting at `column`. Blanks, signs, prefixes or a field that ends
// too early make it unreadable: a lenient conversion would let a damaged record through.
constexpr std::optional<std::uint32_t> ReadHexField(std::string_view text, std::size_t column,
                                                    std::size_t digits) {
    if (column > text.size() || text.size() - column < digits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int digit = HexDigitValue(text[column + i]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The lines of a text file in memory, numbered from 1. LF, CR LF and a lone CR each end a
// line, so a file written by any tool reads alike.
class TextLines {
  public:
    explicit TextLines(std::span<const std::uint8_t> content)
        : text_(reinterpret_cast<const char*>(content.data()), content.size()) {}

    // The next line without its ending; false at the end of the text.
    bool Next(std::string_view& line) {
        if (position_ >= text_.size()) {
            return false;
        }
        const std::size_t end = text_.find_first_of("\r\n", position_);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        line = text_.substr(position_, stop - position_);
        position_ = stop;
        if (position_ < text_.size()) {
            position_ += text_.compare(position_, 2, "\r\n") == 0 ? 2 : 1;
        }
        ++number_;
        return true;
    }
    std::size_t Number() const { return number_; }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t number_ = 0;
};

}  // namespace vantrel
