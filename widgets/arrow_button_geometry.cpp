#include "widgets/arrow_button_geometry.h"

#include <algorithm>

namespace zandrel {

bool OnArrowPart(int x, int y, int width, int height, int arrowWidth) {
    return width - arrowWidth <= x && x <= width && 0 <= y && y <= height;
}

bool CountsAsClick(int x, int y, int width, int height, int arrowWidth) {
    return 0 <= x && x <= width - arrowWidth && 0 <= y && y <= height;
}

std::vector<ArrowLine> ArrowLines(int left, int top, int right, int bottom, bool pressed, bool flat) {
    const int w = (right - left) / 2, h = (bottom - top) / 2, q = w / 2;
    int y = bottom - h - q + 1, x0 = left + q, x1 = right - q;
    if (pressed) ++x0, ++x1, ++y;
    if (!flat) --x0, --x1;
    std::vector<ArrowLine> lines;
    // Each line one lower and one shorter at both ends, while its left end is not past its right end.
    for (; x0 <= x1 - 1; ++x0, --x1, ++y) lines.push_back({y, x0, x1});
    return lines;
}

namespace {

struct Axis {
    int glyphPos, textPos;
};

// Positions along the layout axis of client size c, glyph g and text t.
Axis AlongAxis(int c, int g, int t, bool glyphFirst, int margin, int spacing) {
    if (g == 0 || t == 0) spacing = 0;
    if (margin == -1) {
        if (spacing == -1) {
            margin = spacing = (c - g - t) / 3;
        } else {
            margin = (c - g - spacing - t + 1) / 2;
        }
    } else if (spacing == -1) {
        spacing = (c - margin - g - t) / 2;
    }
    if (glyphFirst) return {margin, margin + g + spacing};
    const int glyphPos = c - margin - g;
    return {glyphPos, glyphPos - spacing - t};
}

}  // namespace

GlyphPlacement PlaceGlyphAndText(int cw, int ch, int gw, int gh, int tw, int th, TButtonLayout layout, int margin,
                                 int spacing) {
    GlyphPlacement p;
    const bool horizontal = layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;
    const bool glyphFirst = layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphTop;
    if (horizontal) {
        p.glyphY = (ch - gh + 1) / 2;
        p.textY = (ch - th + 1) / 2;
        const Axis a = AlongAxis(cw, gw, tw, glyphFirst, margin, spacing);
        p.glyphX = a.glyphPos, p.textX = a.textPos;
    } else {
        p.glyphX = (cw - gw + 1) / 2;
        p.textX = (cw - tw + 1) / 2;
        const Axis a = AlongAxis(ch, gh, th, glyphFirst, margin, spacing);
        p.glyphY = a.glyphPos, p.textY = a.textPos;
    }
    return p;
}

int ClampNumGlyphs(int value) { return std::clamp(value, 1, 4); }

int AcceptMargin(int current, int wanted) { return wanted < -1 ? current : wanted; }

}  // namespace zandrel
