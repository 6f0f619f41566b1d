#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/descrambler.h"
#include "zandrel_texts.h"
#include "zandrel_texts_plain.h"

namespace zandrel {
namespace {

TEST(Descrambler, EveryStoredTextDecodesToItsPlainForm) {
    ASSERT_EQ(std::size(texts::kAll), std::size(texts::kPlain));
    for (std::size_t i = 0; i < std::size(texts::kAll); ++i) {
        const auto& t = texts::kAll[i];
        const auto decoded = t.variant == 2 ? BytsToEncStr2(t.bytes) : BytsToEncStr4(t.bytes);
        EXPECT_EQ(decoded, texts::kPlain[i]) << t.name;
        EXPECT_EQ(decoded.size(), t.bytes.size()) << t.name;
    }
}

TEST(Descrambler, StoredNamesAreDistinctAndSettingsNamesUseVariant4) {
    std::set<std::string> values;
    for (std::size_t i = 0; i < std::size(texts::kAll); ++i) {
        const std::string name = texts::kAll[i].name;
        if (name == "SettingsKey" || name == "FavoritesSubKey" || name.rfind("Val", 0) == 0) {
            EXPECT_EQ(texts::kAll[i].variant, 4) << name;
            if (name.rfind("Val", 0) == 0) {
                EXPECT_TRUE(values.insert(texts::kPlain[i]).second) << name;
            }
        }
    }
    EXPECT_EQ(values.size(), 13u);
}

TEST(Descrambler, LastByteGivesFirstCharacter) {
    // Find bytes for 'A' and 'B' and store "AB" reversed.
    auto byteFor = [](const ScrambleVariant& v, char c) {
        for (int b = 0; b < 256; ++b)
            if (DescrambleByte(v, static_cast<std::uint8_t>(b)) == c) return static_cast<std::uint8_t>(b);
        ADD_FAILURE() << "no byte for " << c;
        return std::uint8_t{0};
    };
    for (const auto* v : {&kVariant2, &kVariant4}) {
        const std::vector<std::uint8_t> stored{byteFor(*v, 'B'), byteFor(*v, 'A')};
        EXPECT_EQ(Descramble(*v, stored), "AB");
        const std::vector<std::uint8_t> one{byteFor(*v, 'x')};
        EXPECT_EQ(Descramble(*v, one), "x");
        EXPECT_EQ(Descramble(*v, {}), "");
    }
}

TEST(Descrambler, BytesBelowTheOffsetWrapAround) {
    // Worked out by hand from the constants: variant 2 (offset 1, shift 1, mask
    // 0x37): 0 - 1 = 0xFFFFFFFF, shifted 0x7FFFFFFF, low byte 0xFF, ^ 0x37 = 0xC8.
    // Variant 4 (offset 9, shift 0, mask 9): 0 - 9 = 0xFFFFFFF7, 0xF7 ^ 0x09 = 0xFE;
    // 8 - 9 = 0xFFFFFFFF, 0xFF ^ 0x09 = 0xF6. A subtraction that stopped at zero
    // would give 0x37 and 0x09 instead.
    ASSERT_EQ(kVariant2.offset, 1u);
    ASSERT_EQ(kVariant2.mask, 0x37);
    ASSERT_EQ(kVariant4.offset, 9u);
    ASSERT_EQ(kVariant4.mask, 0x09);
    const std::uint8_t zero[] = {0};
    const std::uint8_t eight[] = {8};
    EXPECT_EQ(static_cast<std::uint8_t>(BytsToEncStr2(zero)[0]), 0xC8);
    EXPECT_EQ(static_cast<std::uint8_t>(BytsToEncStr4(zero)[0]), 0xFE);
    EXPECT_EQ(static_cast<std::uint8_t>(BytsToEncStr4(eight)[0]), 0xF6);
    // The byte at the offset itself is where the wrap-around stops.
    const std::uint8_t nine[] = {9};
    EXPECT_EQ(static_cast<std::uint8_t>(BytsToEncStr4(nine)[0]), 0x09);
}

TEST(Descrambler, EveryPrintableCharacterCanBeStoredInBothVariants) {
    for (const auto* v : {&kVariant2, &kVariant4}) {
        std::set<char> reachable;
        for (int b = 0; b < 256; ++b) reachable.insert(DescrambleByte(*v, static_cast<std::uint8_t>(b)));
        for (char c = 0x20; c < 0x7F; ++c) EXPECT_TRUE(reachable.count(c)) << "char " << int(c);
    }
}

TEST(Descrambler, WidenKeepsLatin1Characters) {
    EXPECT_EQ(Widen8("a\xE9z"), std::wstring(L"a\u00E9z"));
}

}  // namespace
}  // namespace zandrel
