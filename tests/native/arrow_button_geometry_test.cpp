#include "widgets/arrow_button_geometry.h"

#include <gtest/gtest.h>

namespace zandrel {
namespace {

TEST(ArrowButton, TheProgramsFlatButtonDrawsFourLines) {
    // 39 x 25, arrow part 26..39.
    EXPECT_EQ(ArrowLines(26, 0, 39, 25, false, true),
              (std::vector<ArrowLine>{{11, 29, 36}, {12, 30, 35}, {13, 31, 34}, {14, 32, 33}}));
    const auto pressed = ArrowLines(26, 0, 39, 25, true, true);
    ASSERT_EQ(pressed.size(), 4u);
    EXPECT_EQ(pressed[0], (ArrowLine{12, 30, 37})) << "pressed: one right and one down";
    const auto raised = ArrowLines(26, 0, 39, 25, false, false);
    EXPECT_EQ(raised[0], (ArrowLine{11, 28, 35})) << "not flat: one further left";
    EXPECT_TRUE(ArrowLines(5, 0, 5, 10, false, true).empty()) << "no width, no arrow";
}

TEST(ArrowButton, PartsOfTheButton) {
    EXPECT_TRUE(OnArrowPart(26, 0, 39, 25, 13));
    EXPECT_TRUE(OnArrowPart(39, 25, 39, 25, 13)) << "bounds included";
    EXPECT_FALSE(OnArrowPart(25, 10, 39, 25, 13));
    EXPECT_TRUE(CountsAsClick(26, 10, 39, 25, 13)) << "the shared column counts for both";
    EXPECT_FALSE(CountsAsClick(27, 10, 39, 25, 13));
    EXPECT_FALSE(CountsAsClick(5, 26, 39, 25, 13)) << "released below";
    EXPECT_FALSE(CountsAsClick(-1, 10, 39, 25, 13));
}

TEST(ArrowButton, GlyphAndCaptionLayout) {
    // Glyph only, centred by the computed margin: (26 - 16 + 1) div 2 across, margin (26-16-0+1) div 2.
    EXPECT_EQ(PlaceGlyphAndText(26, 25, 16, 16, 0, 0, TButtonLayout::blGlyphLeft, -1, 4),
              (GlyphPlacement{5, 5, 21, 13}));
    // Glyph and text, both computed: (100 - 16 - 40) div 3 = 14.
    EXPECT_EQ(PlaceGlyphAndText(100, 30, 16, 16, 40, 14, TButtonLayout::blGlyphLeft, -1, -1),
              (GlyphPlacement{14, 7, 44, 8}));
    // Glyph right with a set margin and spacing.
    EXPECT_EQ(PlaceGlyphAndText(100, 30, 16, 16, 40, 14, TButtonLayout::blGlyphRight, 3, 4),
              (GlyphPlacement{81, 7, 37, 8}));
    // Glyph on top, spacing computed from a set margin: (60 - 2 - 16 - 14) div 2 = 14.
    EXPECT_EQ(PlaceGlyphAndText(50, 60, 16, 16, 40, 14, TButtonLayout::blGlyphTop, 2, -1),
              (GlyphPlacement{17, 2, 5, 32}));
    EXPECT_EQ(PlaceGlyphAndText(50, 60, 16, 16, 40, 14, TButtonLayout::blGlyphBottom, 2, 4),
              (GlyphPlacement{17, 42, 5, 24}));
}

TEST(ArrowButton, PropertyRules) {
    EXPECT_EQ(ClampNumGlyphs(7), 4);
    EXPECT_EQ(ClampNumGlyphs(2), 2);
    EXPECT_EQ(AcceptMargin(-1, -5), -1) << "below -1 is ignored";
    EXPECT_EQ(AcceptMargin(-1, 3), 3);
}

}  // namespace
}  // namespace zandrel
