#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// The pieces the stats page is written in: escaped text and inline SVG.

// Log texts are anyone's: a station name or failure text never becomes markup.
std::string Escaped(const std::string& text);
std::string Number(std::int64_t value);
// part of whole; 0 of nothing.
double Share(std::int64_t part, std::int64_t whole);
// The first characters of a UTF-8 text, never a character cut in two.
std::string Cut(const std::string& text, std::size_t characters);

std::string Rect(double x, double y, double width, double height, const char* fill);
std::string Line(double x1, double y1, double x2, double y2);
std::string Label(double x, double y, const std::string& text, const char* classes = nullptr);
// A tooltip: whoever points at a bar reads its figures.
std::string Group(const std::string& title, const std::string& body);
std::string Svg(double width, double height, const std::string& label, const std::string& body);

}  // namespace vantrel
