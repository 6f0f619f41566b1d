#include "browser/favorites.h"

#include <gtest/gtest.h>

namespace zandrel {
namespace {

using Captions = std::vector<std::wstring>;

TEST(Favorites, NewestFirstAndTheOldestDropsOut) {
    Captions c;
    EXPECT_TRUE(AddFavorite(c, L"C:\\A", 3));
    EXPECT_EQ(c, (Captions{L"C:\\A"}));
    AddFavorite(c, L"C:\\B", 3);
    AddFavorite(c, L"C:\\C", 3);
    EXPECT_EQ(c, (Captions{L"C:\\C", L"C:\\B", L"C:\\A"}));
    AddFavorite(c, L"C:\\D", 3);
    EXPECT_EQ(c, (Captions{L"C:\\D", L"C:\\C", L"C:\\B"}));
    EXPECT_FALSE(AddFavorite(c, L"c:\\b", 3)) << "already there, whatever the case";
    EXPECT_EQ(c, (Captions{L"C:\\D", L"C:\\C", L"C:\\B"}));
    EXPECT_FALSE(AddFavorite(c, L"", 3));
}

TEST(Favorites, RemovingMovesTheRestUpAndLeavesAnEmptyBottom) {
    Captions c{L"C:\\C", L"C:\\B", L"C:\\A"};
    RemoveFavorite(c, 0);
    EXPECT_EQ(c, (Captions{L"C:\\B", L"C:\\A", L""}));
    EXPECT_EQ(StoredFavorites(c), (Captions{L"C:\\B", L"C:\\A"}));
    // The next addition fills the empty place without growing the list.
    AddFavorite(c, L"C:\\E", 3);
    EXPECT_EQ(c, (Captions{L"C:\\E", L"C:\\B", L"C:\\A"}));
    RemoveFavorite(c, 2);
    EXPECT_EQ(c, (Captions{L"C:\\E", L"C:\\B", L""}));
}

}  // namespace
}  // namespace zandrel
