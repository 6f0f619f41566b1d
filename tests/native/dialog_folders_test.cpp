// Where the source's and the target's file dialogs open.
#include "app/dialog_folders.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace zandrel {
namespace {

struct Disk {
    explicit Disk(std::set<std::wstring> existing) : folders(std::move(existing)) {}
    std::set<std::wstring> folders;
    mutable std::vector<std::wstring> asked;
    bool operator()(const std::wstring& folder) const {
        asked.push_back(folder);
        return folders.count(folder) != 0;
    }
};

TEST(DialogFolders, TheFieldsFolderWinsWhenItExists) {
    const Disk disk({L"C:\\work\\out", L"D:\\last"});
    EXPECT_EQ(DialogStartFolder(L"C:\\work\\out\\app.exe", L"D:\\last", std::cref(disk)), L"C:\\work\\out");
    EXPECT_EQ(DialogStartFolder(L"C:\\work\\out\\", L"D:\\last", std::cref(disk)), L"C:\\work\\out")
        << "a field holding a folder";
    EXPECT_EQ(DialogStartFolder(L"C:\\work\\out/app.exe", L"", std::cref(disk)), L"C:\\work\\out");
}

TEST(DialogFolders, OtherwiseTheStoredFolderAsBeforeOrTheDialogsOwn) {
    const Disk disk({L"D:\\last", L"C:\\"});
    EXPECT_EQ(DialogStartFolder(L"C:\\gone\\app.exe", L"D:\\last", std::cref(disk)), L"D:\\last");
    EXPECT_EQ(DialogStartFolder(L"", L"D:\\last", std::cref(disk)), L"D:\\last") << "an empty field";
    EXPECT_EQ(DialogStartFolder(L"C:\\gone\\app.exe", L"D:\\gone too", std::cref(disk)), L"");
    EXPECT_EQ(DialogStartFolder(L"", L"", std::cref(disk)), L"");
    EXPECT_EQ(DialogStartFolder(L"C:\\app.exe", L"D:\\last", std::cref(disk)), L"C:\\") << "a drive's root";
}

TEST(DialogFolders, ARelativeFieldIsNotLookedUpInTheProgramsCurrentFolder) {
    Disk disk({L"work", L"D:\\last", L"C:work"});
    EXPECT_EQ(DialogStartFolder(L"work\\app.exe", L"D:\\last", std::cref(disk)), L"D:\\last");
    EXPECT_EQ(DialogStartFolder(L"app.exe", L"D:\\last", std::cref(disk)), L"D:\\last");
    EXPECT_EQ(DialogStartFolder(L"C:work\\app.exe", L"D:\\last", std::cref(disk)), L"D:\\last")
        << "a drive's current folder";
    EXPECT_EQ(DialogStartFolder(L"\\work\\app.exe", L"D:\\last", std::cref(disk)), L"D:\\last")
        << "the current drive's root";
    for (const auto& folder : disk.asked) EXPECT_TRUE(IsAbsolutePath(folder)) << "asked about " << folder.size();
}

TEST(DialogFolders, NetworkPathsAreAbsolute) {
    const Disk disk({L"\\\\server\\share\\out"});
    EXPECT_EQ(DialogStartFolder(L"\\\\server\\share\\out\\app.exe", L"", std::cref(disk)), L"\\\\server\\share\\out");
    EXPECT_TRUE(IsAbsolutePath(L"\\\\server\\share"));
    EXPECT_FALSE(IsAbsolutePath(L"\\\\\\x"));
    EXPECT_FALSE(IsAbsolutePath(L"C:"));
}

}  // namespace
}  // namespace zandrel
