#include <gtest/gtest.h>

#include "app/stored_values.h"
#include "framework/error.h"

namespace zandrel {
namespace {

TEST(StoredValues, LevelMatchesRegardlessOfCase) {
    const std::vector<std::wstring> levels{L"best", L"9", L"8", L"7", L"6", L"5", L"4", L"3", L"2", L"1"};
    EXPECT_EQ(MatchEntry(levels, L"BEST"), 0);
    EXPECT_EQ(MatchEntry(levels, L"1"), 9);
    EXPECT_EQ(MatchEntry(levels, L"11"), -1);
    EXPECT_EQ(MatchEntry(levels, L""), -1);
}

TEST(StoredValues, IntegersAndTheirErrorText) {
    EXPECT_EQ(ParseStoredInteger(L"0"), 0);
    EXPECT_EQ(ParseStoredInteger(L"-12"), -12);
    EXPECT_EQ(ParseStoredInteger(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseStoredInteger(L"-2147483648"), -2147483647 - 1);
    for (const std::wstring bad : {L"", L"abc", L"12px", L" 5", L"-", L"2147483648", L"99999999999999999999"}) {
        try {
            ParseStoredInteger(bad);
            ADD_FAILURE() << "accepted a bad integer";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.Message(), L"'" + bad + L"' is not a valid integer value");
        }
    }
}

TEST(StoredValues, CoordinatesOutsideTheScreenAreIgnored) {
    EXPECT_EQ(StoredCoordinate(L"", 768), std::nullopt);
    EXPECT_EQ(StoredCoordinate(L"0", 768), 0);
    EXPECT_EQ(StoredCoordinate(L"767", 768), 767);
    EXPECT_EQ(StoredCoordinate(L"768", 768), std::nullopt);
    EXPECT_EQ(StoredCoordinate(L"-1", 768), std::nullopt);
    EXPECT_THROW(StoredCoordinate(L"top", 768), ConvertError);
}

}  // namespace
}  // namespace zandrel
