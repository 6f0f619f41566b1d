#include <gtest/gtest.h>

#include "widgets/label3d_geometry.h"

namespace zandrel {
namespace {

TEST(Label3DGeometry, EscapementIsNormalised) {
    EXPECT_EQ(NormaliseEscapement(-30), 330);
    EXPECT_EQ(NormaliseEscapement(725), 5);
    EXPECT_EQ(NormaliseEscapement(720), 360);
    EXPECT_EQ(NormaliseEscapement(-360), 0);
    EXPECT_EQ(NormaliseEscapement(360), 360);
    EXPECT_EQ(NormaliseEscapement(0), 0);
}

TEST(Label3DGeometry, TurnedTextStartsInsideItsBox) {
    // 100 wide, 20 high.
    EXPECT_EQ(TurnedTextOffset(90, 100, 20), (Offset{0, 100}));   // reads upwards from the bottom
    EXPECT_EQ(TurnedTextOffset(180, 100, 20), (Offset{100, 20}));  // upside down, from the right
    EXPECT_EQ(TurnedTextOffset(270, 100, 20), (Offset{20, 0}));    // reads downwards
    EXPECT_EQ(TurnedTextOffset(360, 100, 20), (Offset{0, 0}));
    EXPECT_EQ(TurnedTextOffset(30, 100, 20), (Offset{0, 49}));     // sin 30 * 100 = 49.99.. truncated
}

TEST(Label3DGeometry, TurnedTextExtentSwapsSidesAtRightAngles) {
    EXPECT_EQ(TurnedTextExtent(90, 100, 20), (Offset{20, 100}));
    EXPECT_EQ(TurnedTextExtent(180, 100, 20), (Offset{100, 20}));
    EXPECT_EQ(TurnedTextExtent(45, 100, 20), (Offset{70 + 14, 70 + 14}));
}

TEST(Label3DGeometry, DrawFlags) {
    DrawFlagsInput in;
    EXPECT_EQ(DrawFlags(in), 0x40u);
    in.alignment = TAlignment::taCenter;
    in.wordWrap = true;
    in.showAccelChar = false;
    in.ellipses = TEllipsesStyle::esEnd;
    in.layout = TTextLayout::tlCenter;
    EXPECT_EQ(DrawFlags(in), 0x1u | 0x10u | 0x40u | 0x800u | 0x8000u | 0x24u);
    in.escapement = 90;  // no vertical layout for turned text
    EXPECT_EQ(DrawFlags(in), 0x1u | 0x10u | 0x40u | 0x800u | 0x8000u);
    in = {};
    in.alignment = TAlignment::taRightJustify;
    in.ellipses = TEllipsesStyle::esPath;
    in.layout = TTextLayout::tlBottom;
    EXPECT_EQ(DrawFlags(in), 0x2u | 0x40u | 0x4000u | 0x28u);
}

TEST(Label3DGeometry, ThreeDCopies) {
    using C = CopyColour;
    EXPECT_TRUE(TextCopies(TTextStyle::tsNone, 5).empty());
    EXPECT_EQ(TextCopies(TTextStyle::tsRaised, 5), (std::vector<TextCopy>{{{1, 1}, C::Shadow}}));
    EXPECT_EQ(TextCopies(TTextStyle::tsLightRaised, 5),
              (std::vector<TextCopy>{{{1, 1}, C::Shadow}, {{-1, -1}, C::Highlight}}));
    EXPECT_EQ(TextCopies(TTextStyle::tsRecessed, 5), (std::vector<TextCopy>{{{1, 1}, C::Highlight}}));
    EXPECT_EQ(TextCopies(TTextStyle::tsHeavyRecessed, 5),
              (std::vector<TextCopy>{{{1, 1}, C::Highlight}, {{-1, -1}, C::Shadow}}));
    EXPECT_EQ(TextCopies(TTextStyle::tsShadow, 3), (std::vector<TextCopy>{{{3, 3}, C::Shadow}}));
}

}  // namespace
}  // namespace zandrel
