#include "IconGlyphs.hpp"

#include <algorithm>

namespace menubar::IconGlyphs {

namespace {

#include "IconGlyphOutlines.inc"

const Glyph* glyphFor(char character) {
    const auto found =
        std::find_if(std::begin(glyphTable), std::end(glyphTable),
                     [character](const Glyph& glyph) { return glyph.character == character; });
    return found == std::end(glyphTable) ? nullptr : found;
}

Point moved(Point point, double scale, Point offset) {
    return {point.x * scale + offset.x, point.y * scale + offset.y};
}

} // namespace

std::optional<Outline> outline(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    Outline result;
    double pen = 0;
    for (const char character : text) {
        const Glyph* glyph = glyphFor(character);
        if (glyph == nullptr) {
            return std::nullopt;
        }
        for (std::size_t i = glyph->first; i < glyph->first + glyph->count; ++i) {
            Segment segment = glyphSegments[i];
            for (Point& point : segment.points) {
                point.x += pen;
            }
            result.segments.push_back(segment);
        }
        const Box ink{glyph->ink.left + pen, glyph->ink.top, glyph->ink.right + pen,
                      glyph->ink.bottom};
        result.bounds = pen == 0 ? ink
                                 : Box{std::min(result.bounds.left, ink.left),
                                       std::min(result.bounds.top, ink.top),
                                       std::max(result.bounds.right, ink.right),
                                       std::max(result.bounds.bottom, ink.bottom)};
        pen += glyph->advance;
    }
    const Box& digit = glyphFor('0')->ink;
    result.bounds.top = std::min(result.bounds.top, digit.top);
    result.bounds.bottom = std::max(result.bounds.bottom, digit.bottom);
    return result;
}

Outline fitted(const Outline& outline, const Box& box) {
    const Box& from = outline.bounds;
    if (from.width() <= 0 || from.height() <= 0) {
        return outline;
    }
    const double scale = std::min(box.width() / from.width(), box.height() / from.height());
    const Point offset{box.left + (box.width() - from.width() * scale) / 2 - from.left * scale,
                       box.top + (box.height() - from.height() * scale) / 2 - from.top * scale};
    Outline result;
    result.segments.reserve(outline.segments.size());
    for (Segment segment : outline.segments) {
        for (Point& point : segment.points) {
            point = moved(point, scale, offset);
        }
        result.segments.push_back(segment);
    }
    const Point topLeft = moved({from.left, from.top}, scale, offset);
    const Point bottomRight = moved({from.right, from.bottom}, scale, offset);
    result.bounds = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    return result;
}

} // namespace menubar::IconGlyphs
