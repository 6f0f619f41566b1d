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
    EXPECT_EQ(values.size(), 12u);
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
    // 0 - offset wraps to a value near 2^32; its low bits still give a character.
    const std::uint8_t zero[] = {0};
    const auto wrapped4 = static_cast<std::uint8_t>(((0u - kVariant4.offset) >> kVariant4.shift) & 0xFF);
    EXPECT_EQ(static_cast<std::uint8_t>(BytsToEncStr4(zero)[0]), wrapped4 ^ kVariant4.mask);
    const auto wrapped2 = static_cast<std::uint8_t>(((0u - kVariant2.offset) >> kVariant2.shift) & 0xFF);
    EXPECT_EQ(static_cast<std::uint8_t>(BytsToEncStr2(zero)[0]), wrapped2 ^ kVariant2.mask);
    EXPECT_EQ(wrapped2, 0xFF);
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
