#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cwctype>

#include "browser/list_logic.h"

namespace zandrel {
namespace {

TEST(ListLogic, MasksAreNormalisedAndSplit) {
    EXPECT_EQ(NormaliseMask(L" *.EXE , *.dll "), L"*.exe;*.dll");
    EXPECT_EQ(NormaliseMask(L""), L"*.*");
    EXPECT_EQ(NormaliseMask(L"   "), L"*.*");
    EXPECT_EQ(NormaliseMask(L"*.Exe"), L"*.exe");
    EXPECT_EQ(SplitMasks(L"*.exe;*.dll;*.exe"), (std::vector<std::wstring>{L"*.exe", L"*.dll"}));
    EXPECT_EQ(SplitMasks(L"*.*"), std::vector<std::wstring>{L"*.*"});
}

TEST(ListLogic, SizesCarryTheThousandsSeparatorAndGoPast2GiB) {
    EXPECT_EQ(SizeText(1234567, L'.'), L"1.234.567");
    EXPECT_EQ(SizeText(0, L','), L"0");
    EXPECT_EQ(SizeText(999, L','), L"999");
    EXPECT_EQ(SizeText(1000, L','), L"1,000");
    EXPECT_EQ(SizeText(5'000'000'000LL, L','), L"5,000,000,000");
    EXPECT_EQ(SizeText(-42, L','), L"42");
    EXPECT_EQ(SizeText(LLONG_MIN, L','), L"9,223,372,036,854,775,808");
}

TEST(ListLogic, AttributeLetters) {
    EXPECT_EQ(AttrText(0x20 | 0x4 | 0x2 | 0x1), L"ashr");
    EXPECT_EQ(AttrText(0x20 | 0x2), L"ah");
    EXPECT_EQ(AttrText(0), L"");
    EXPECT_EQ(AttrText(0x800 | 0x1), L"cr");
    EXPECT_EQ(AttrText(0x20, L"-", true), L"-a---");
    EXPECT_EQ(AttrText(0x20, L"-", false), L"a---");
}

TEST(ListLogic, TwoDigitYearsBecomeFour) {
    EXPECT_EQ(DatePart(L"dd.MM.yy", L""), L"dd.MM.yyyy");
    EXPECT_EQ(DatePart(L"yy/MM/dd", L""), L"yyyy/MM/dd");
    EXPECT_EQ(DatePart(L"M/d/yyyy", L""), L"M/d/yyyy");
    EXPECT_EQ(DatePart(L"dd MMM", L"kept"), L"kept");
    EXPECT_EQ(DateTimeFormat(TDateTimeDisplay::dtdDateTimeSec, DatePart(L"dd.MM.yy", L""), L"HH:mm", L"HH:mm:ss"),
              L"dd.MM.yyyy  HH:mm:ss");
    EXPECT_EQ(DateTimeFormat(TDateTimeDisplay::dtdDateTime, L"d", L"HH:mm", L"HH:mm:ss"), L"d  HH:mm");
    EXPECT_EQ(DateTimeFormat(TDateTimeDisplay::dtdDate, L"d", L"HH:mm", L"HH:mm:ss"), L"d");
}

TEST(ListLogic, CaptionsByLanguage) {
    EXPECT_EQ(ColumnCaptions(9)[3], L"Changed");
    EXPECT_EQ(ColumnCaptions(7)[1], L"Gr\u00f6\u00dfe");
    EXPECT_EQ(ColumnCaptions(12)[4], L"Attributs");
    EXPECT_EQ(FileTypePattern(7), L"Datei %s");
    EXPECT_EQ(FileTypePattern(10), L"File %s");
}

int NoCase(const std::wstring& a, const std::wstring& b) {
    std::wstring x = a, y = b;
    for (auto& c : x) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    for (auto& c : y) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return x < y ? -1 : x > y ? 1 : 0;
}

std::vector<std::wstring> Sorted(std::vector<ListEntry> items, SortOrder order) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const ListEntry& a, const ListEntry& b) { return CompareEntries(a, b, order, NoCase) < 0; });
    std::vector<std::wstring> names;
    for (const auto& i : items) names.push_back(i.DisplayName);
    return names;
}

std::vector<ListEntry> Folder() {
    std::vector<ListEntry> items(5);
    items[0] = {L"b.exe", L"Application", L"exe", false, false, 3'000'000'000LL, 300, 0x20};
    items[1] = {L"A.dll", L"Library", L"dll", false, false, 10, 100, 0x21};
    items[2] = {L"sub", L"Folder", L"", true, false, 0, 200, 0x10};
    items[3] = {L"..", L"", L"", true, true, 0, 0, 0x10};
    items[4] = {L"c.txt", L"Text", L"txt", false, false, 10, 100, 0x20};
    return items;
}

TEST(ListLogic, ParentFirstThenFoldersAscendingAndLastDescending) {
    EXPECT_EQ(Sorted(Folder(), {0, true}), (std::vector<std::wstring>{L"..", L"sub", L"A.dll", L"b.exe", L"c.txt"}));
    EXPECT_EQ(Sorted(Folder(), {0, false}), (std::vector<std::wstring>{L"..", L"c.txt", L"b.exe", L"A.dll", L"sub"}));
    EXPECT_EQ(Sorted(Folder(), {0, false, true}),
              (std::vector<std::wstring>{L"..", L"sub", L"c.txt", L"b.exe", L"A.dll"}))
        << "folders on top stay on top";
}

TEST(ListLogic, SizeDateTypeAndAttributeOrders) {
    EXPECT_EQ(Sorted(Folder(), {1, true}), (std::vector<std::wstring>{L"..", L"sub", L"A.dll", L"c.txt", L"b.exe"}))
        << "3 GB is larger than 10 bytes; equal sizes by name";
    EXPECT_EQ(Sorted(Folder(), {3, false}), (std::vector<std::wstring>{L"..", L"b.exe", L"A.dll", L"c.txt", L"sub"}))
        << "equal dates keep ascending names when descending";
    EXPECT_EQ(Sorted(Folder(), {2, true}), (std::vector<std::wstring>{L"..", L"sub", L"b.exe", L"A.dll", L"c.txt"}));
    EXPECT_EQ(Sorted(Folder(), {4, true}), (std::vector<std::wstring>{L"..", L"sub", L"b.exe", L"c.txt", L"A.dll"}));

    auto old = Folder();
    old[1].FileTime = -5'000'000'000'000'000LL;  // long before 1980
    EXPECT_EQ(Sorted(old, {3, true})[2], L"A.dll");
}

TEST(ListLogic, ColumnClicks) {
    SortOrder o;
    o = ColumnClicked(o, 0);
    EXPECT_EQ(o, (SortOrder{0, false}));
    o = ColumnClicked(o, 0);
    EXPECT_EQ(o, (SortOrder{0, true})) << "twice returns to the first direction";
    o = ColumnClicked(ColumnClicked(o, 0), 3);
    EXPECT_EQ(o, (SortOrder{3, false})) << "another column keeps the direction";
}

}  // namespace
}  // namespace zandrel
