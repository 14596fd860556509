#include "surfaces/recording_surface.h"

#include <charconv>

#include "render/errors.h"
#include "render/text.h"

namespace quillet {
namespace {

template <class Number>
std::string shortest(Number value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::size_t characterCount(std::string_view text) { return decodeUtf8(text).size(); }

}  // namespace

std::string formatNumber(double value) { return value == 0 ? "0" : shortest(value); }
std::string formatNumber(float value) { return value == 0 ? "0" : shortest(value); }

std::string formatCoordinate(const Coordinate& value) {
    return std::visit(
        [](auto number) -> std::string {
            if constexpr (std::is_same_v<decltype(number), std::int16_t>) {
                return std::to_string(number);
            } else {
                return formatNumber(number);
            }
        },
        value);
}

std::string escapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

void RecordingSurface::failAt(std::string_view member, std::int32_t number, int call) {
    failingMember_ = member;
    failingNumber_ = number;
    callsUntilFailure_ = call;
}

void RecordingSurface::enter(std::string_view member) {
    if (callsUntilFailure_ > 0 && member == failingMember_ && --callsUntilFailure_ == 0) {
        raise(failingNumber_);
    }
}

std::string RecordingSurface::trace() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += '\n';
    }
    return out;
}

void RecordingSurface::setFontName(std::string_view name) {
    enter("FontName");
    lines_.push_back("FontName\t" + escapeText(name));
}

void RecordingSurface::setForeColor(std::int32_t color) {
    enter("ForeColor");
    lines_.push_back("ForeColor\t" + std::to_string(color));
}

void RecordingSurface::setFontBold(bool bold) {
    enter("FontBold");
    lines_.push_back(std::string("FontBold\t") + (bold ? "True" : "False"));
}

void RecordingSurface::setFontSize(std::int16_t size) {
    enter("FontSize");
    fontSize_ = size;
    lines_.push_back("FontSize\t" + std::to_string(size));
}

void RecordingSurface::setCurrentX(Coordinate x) {
    enter("CurrentX");
    lines_.push_back("CurrentX\t" + formatCoordinate(x));
}

void RecordingSurface::setCurrentY(float y) {
    enter("CurrentY");
    lines_.push_back("CurrentY\t" + formatNumber(y));
}

double RecordingSurface::textWidth(std::string_view text) {
    enter("TextWidth");
    const double width = static_cast<double>(fontSize_) * 12 * characterCount(text);
    lines_.push_back("TextWidth\t" + escapeText(text) + "\t" + formatNumber(width));
    return width;
}

double RecordingSurface::textHeight(std::string_view text) {
    enter("TextHeight");
    const double height = static_cast<double>(fontSize_) * 24;
    lines_.push_back("TextHeight\t" + escapeText(text) + "\t" + formatNumber(height));
    return height;
}

void RecordingSurface::line(std::int16_t flags, std::int16_t& x1, float y1, std::int16_t x2,
                            float y2, std::int32_t color) {
    enter("Line");
    boxes_.push_back({x1, y1, x2, y2, color});
    lines_.push_back("Line\t" + std::to_string(flags) + "\t" + std::to_string(x1) + "\t" +
                     formatNumber(y1) + "\t" + std::to_string(x2) + "\t" + formatNumber(y2) +
                     "\t" + std::to_string(color));
}

void RecordingSurface::print(std::string_view text) {
    enter("Print");
    lines_.push_back("Print\t" + escapeText(text));
}

}  // namespace quillet
