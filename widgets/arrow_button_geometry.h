#pragma once
// The drop-down arrow button's arithmetic: its two parts, the arrow's lines and
// where glyph and caption stand. Portable.
#include <cstdint>
#include <vector>

namespace zandrel {

enum class TButtonLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// A press at (x, y) is on the arrow part (bounds included).
bool OnArrowPart(int x, int y, int width, int height, int arrowWidth);
// A release at (x, y) counts as a click of the main part.
bool CountsAsClick(int x, int y, int width, int height, int arrowWidth);

// One horizontal line of the arrow: y, from x0 to x1 (x1 excluded).
struct ArrowLine {
    int y = 0, x0 = 0, x1 = 0;
    bool operator==(const ArrowLine&) const = default;
};
// The downward triangle drawn in the arrow rectangle (left, top, right, bottom).
std::vector<ArrowLine> ArrowLines(int left, int top, int right, int bottom, bool pressed, bool flat);

struct GlyphPlacement {
    int glyphX = 0, glyphY = 0;  // top-left of the glyph
    int textX = 0, textY = 0;    // top-left of the caption's bounds
    bool operator==(const GlyphPlacement&) const = default;
};
// Glyph (gw x gh, zero without one) and caption (tw x th, zero without one) in a client of cw x ch.
GlyphPlacement PlaceGlyphAndText(int cw, int ch, int gw, int gh, int tw, int th, TButtonLayout layout, int margin,
                                 int spacing);

// Property rules: NumGlyphs above 4 become 4 (below 1 become 1); a Margin below -1 is ignored.
int ClampNumGlyphs(int value);
int AcceptMargin(int current, int wanted);

}  // namespace zandrel
