#include "reports/PageMarkup.h"

#include <QString>
#include <vector>

#include "results/RunSummary.h"

namespace vantrel {

std::string Escaped(const std::string& text) {
    QString escaped = QString::fromStdString(text).toHtmlEscaped();
    // Control characters have no place in a page.
    for (QChar& c : escaped) {
        if (c.unicode() < 0x20 && c != u'\t') {
            c = u' ';
        }
    }
    return escaped.toStdString();
}

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

double Share(std::int64_t part, std::int64_t whole) {
    return whole == 0 ? 0 : static_cast<double>(part) / static_cast<double>(whole);
}

std::string Cut(const std::string& text, std::size_t characters) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    return starts.size() <= characters ? text : text.substr(0, starts[characters - 1]) + "…";
}

std::string Rect(double x, double y, double width, double height, const char* fill) {
    return "<rect x=\"" + OneDecimal(x) + "\" y=\"" + OneDecimal(y) + "\" width=\"" +
           OneDecimal(width) + "\" height=\"" + OneDecimal(height) + "\" fill=\"" + fill + "\"/>";
}

std::string Line(double x1, double y1, double x2, double y2) {
    return "<line class=\"grid\" x1=\"" + OneDecimal(x1) + "\" y1=\"" + OneDecimal(y1) +
           "\" x2=\"" + OneDecimal(x2) + "\" y2=\"" + OneDecimal(y2) + "\"/>";
}

std::string Label(double x, double y, const std::string& text, const char* classes) {
    std::string svg = "<text x=\"" + OneDecimal(x) + "\" y=\"" + OneDecimal(y) + "\"";
    if (classes != nullptr) {
        svg += std::string(" class=\"") + classes + "\"";
    }
    return svg + ">" + Escaped(text) + "</text>";
}

std::string Group(const std::string& title, const std::string& body) {
    return "<g><title>" + Escaped(title) + "</title>" + body + "</g>";
}

std::string Svg(double width, double height, const std::string& label, const std::string& body) {
    return "<svg viewBox=\"0 0 " + OneDecimal(width) + " " + OneDecimal(height) +
           "\" role=\"img\" aria-label=\"" + Escaped(label) + "\">" + body + "</svg>\n";
}

}  // namespace vantrel
