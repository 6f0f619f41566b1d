#include <gtest/gtest.h>

#include "browser/drive_names.h"
#include "framework/error.h"

namespace zandrel {
namespace {

TEST(DriveNames, LettersAndThePolicyWord) {
    EXPECT_EQ(CheckDriveLetter(L'c'), L'C');
    try {
        CheckDriveLetter(L'1');
        ADD_FAILURE() << "accepted 1";
    } catch (const ConvertError& e) {
        EXPECT_EQ(e.Message(), L"1 is a invalid drive letter.");
    }
    EXPECT_THROW(CheckDriveLetter(L'\\'), ConvertError);
    const std::uint32_t hideD = 1u << 3;
    EXPECT_TRUE(HiddenByPolicy(hideD, L'D'));
    EXPECT_FALSE(HiddenByPolicy(hideD, L'C'));
    EXPECT_TRUE(HiddenByPolicy(1u << 25, L'z'));
    EXPECT_TRUE(IsShownDrive(3, false));
    EXPECT_FALSE(IsShownDrive(3, true));
    EXPECT_FALSE(IsShownDrive(1, false));
    EXPECT_FALSE(IsShownDrive(7, false));
}

TEST(DriveNames, PrettyNamesKeepTheBlankBeforeTheCut) {
    EXPECT_EQ(CdDisplayName(L"MYDISC", L'E'), L"Mydisc (E:)");
    EXPECT_EQ(PrettyName(L'E', CdDisplayName(L"MYDISC", L'E')), L"E: Mydisc ");
    EXPECT_EQ(PrettyName(L'C', L"Local Disk (C:)"), L"C: Local Disk ");
    EXPECT_EQ(PrettyName(L'C', L"System"), L"C: System");
    EXPECT_EQ(LongPrettyName(L"C: Local Disk ", L"Local Disk (C:)", L'C'), L"C: Local Disk ");
    EXPECT_EQ(CdDisplayName(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L'F'), L"Abcdefghijklmnopqrstuvwx (F:)");
}

TEST(DriveNames, NetworkDrivesShowTheirShare) {
    EXPECT_EQ(NetworkPrettyName(L'N', L"\\\\server\\share"), L"N: share");
    EXPECT_EQ(NetworkLongPrettyName(L'N', L"\\\\server\\share"), L"N: \\\\server\\share");
    EXPECT_EQ(NetworkPrettyName(L'N', L""), L"N: ");
}

TEST(DriveNames, SelectorSizes) {
    EXPECT_EQ(SelectorEditHeight(8, 0), 12);
    EXPECT_EQ(SelectorEditHeight(13, 0), 15);
    EXPECT_EQ(SelectorItemHeight(8, 0), 12);
    EXPECT_EQ(SelectorItemHeight(16, 0), 18);
    // At 150 % the small icons are 24 pixels: rows grow to hold them.
    EXPECT_EQ(SelectorEditHeight(13, 16), 18);
    EXPECT_EQ(SelectorItemHeight(20, 24), 26);
    EXPECT_EQ(SelectorDropDownWidth(0, 100, 22, 8), 130);
    EXPECT_EQ(SelectorDropDownWidth(-5, 100, 22, 8), 130);
    EXPECT_EQ(SelectorDropDownWidth(0, 100, 33, 12), 145) << "the icon's room and the margin grow with the DPI";
    EXPECT_EQ(SelectorDropDownWidth(200, 100, 22, 8), 200);
}

}  // namespace
}  // namespace zandrel
