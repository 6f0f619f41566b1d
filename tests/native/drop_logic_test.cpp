#include "browser/drop_logic.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zandrel {
namespace {

TEST(DropLogic, WhatIsTaken) {
    EXPECT_TRUE(AcceptDrop(true, {L"C:\\a.exe"}));
    EXPECT_TRUE(AcceptDrop(true, {L"\\\\server\\share\\a.exe"}));
    EXPECT_FALSE(AcceptDrop(false, {L"C:\\a.exe"})) << "no valid folder";
    EXPECT_FALSE(AcceptDrop(true, {})) << "no file";
    EXPECT_FALSE(AcceptDrop(true, {L"a.exe"})) << "no drive";
    EXPECT_FALSE(AcceptDrop(true, {L"C:"})) << "too short";
    EXPECT_TRUE(AllExecutables({L"D:\\setup.EXE", L"D:\\x.com"}));
    EXPECT_FALSE(AllExecutables({L"D:\\setup.exe", L"D:\\readme.txt"}));
}

TEST(DropLogic, Effects) {
    EffectInput sameDrive;
    EXPECT_EQ(ProposeEffect(sameDrive), deMove) << "within a drive, files move";
    EffectInput otherDrive;
    otherDrive.sourceDrive = L'D';
    EXPECT_EQ(ProposeEffect(otherDrive), deCopy) << "from another drive, a copy";
    EffectInput programs = otherDrive;
    programs.linkExecutables = true;
    EXPECT_EQ(ProposeEffect(programs), deLink) << "programs from D onto C: a shortcut";
    programs.sourceDrive = L'A';
    EXPECT_EQ(ProposeEffect(programs), deCopy) << "not from a floppy";
    EffectInput keys = otherDrive;
    keys.shift = true;
    keys.proposed = KeyEffect(true, false, keys.allowed);
    EXPECT_EQ(ProposeEffect(keys), deMove) << "the keys decide";
    EXPECT_EQ(KeyEffect(true, true, deCopy | deMove | deLink), deLink);
    EXPECT_EQ(KeyEffect(false, true, deMove), deMove) << "within what the source allows";
    // The list's own files: onto its empty area nothing, onto a sub-folder a move.
    EXPECT_EQ(FinalEffect(ProposeEffect(sameDrive), true, false), deNone);
    EXPECT_EQ(FinalEffect(ProposeEffect(sameDrive), true, true), deMove);
    EXPECT_EQ(FinalEffect(deCopy, true, false), deCopy) << "a copy with Ctrl stays";
    EXPECT_EQ(FinalEffect(deCopy, false, true, true), deMove) << "onto the recycle bin's folder: a move";
    EXPECT_EQ(FinalEffect(deLink, false, true, true), deMove);
    EXPECT_EQ(FinalEffect(deNone, false, true, true), deNone);
}

TEST(DropLogic, ANewShortcutTakesAFreeName) {
    std::vector<std::wstring> there{L"C:\\Links\\setup.lnk", L"C:\\Links\\setup (2).lnk", L"C:\\Links\\tool (2).lnk"};
    std::vector<std::wstring> asked;
    const auto taken = [&](const std::wstring& name) {
        asked.push_back(name);
        return std::find(there.begin(), there.end(), name) != there.end();
    };
    EXPECT_EQ(FreeShortcutName(L"C:\\Links\\tool.lnk", taken), L"C:\\Links\\tool.lnk") << "free: as it is";
    EXPECT_EQ(FreeShortcutName(L"C:\\Links\\setup.lnk", taken), L"C:\\Links\\setup (3).lnk");
    EXPECT_EQ(asked.back(), L"C:\\Links\\setup (3).lnk");
    EXPECT_EQ(FreeShortcutName(L"C:\\Links\\Data disk (D).lnk", [](const std::wstring& n) {
                  return n == L"C:\\Links\\Data disk (D).lnk";
              }),
              L"C:\\Links\\Data disk (D) (2).lnk");
    EXPECT_EQ(FreeShortcutName(L"C:\\a.b\\noext", [](const std::wstring& n) { return n == L"C:\\a.b\\noext"; }),
              L"C:\\a.b\\noext (2)")
        << "a dot in a folder is no extension";
}

TEST(DropLogic, AShortcutToItselfIsSeen) {
    EXPECT_TRUE(IsLinkToItself(L"C:\\Links\\setup.lnk", L"C:\\Links\\setup.lnk"));
    EXPECT_TRUE(IsLinkToItself(L"C:\\Links\\setup.lnk", L"c:\\LINKS\\Setup.LNK")) << "whatever the case";
    EXPECT_TRUE(IsLinkToItself(L"C:\\Links\\setup.lnk", L"C:/Links/setup.lnk"));
    EXPECT_FALSE(IsLinkToItself(L"C:\\Links\\setup.lnk", L"D:\\setup.lnk"));
    EXPECT_FALSE(IsLinkToItself(L"C:\\Links\\setup.lnk", L"C:\\Links\\setup.exe"));
}

TEST(DropLogic, ProgramsShortcutsAndScriptsWouldRunWithDroppedFiles) {
    for (const auto* name : {L"setup.exe", L"OLD.COM", L"link.lnk", L"site.url", L"build.bat", L"x.Cmd", L"a.vbs",
                             L"a.js", L"a.wsf", L"a.ps1", L"saver.scr", L"app.msi", L"tool.py"})
        EXPECT_TRUE(RunsDroppedFiles(name, L"")) << name;
    for (const auto* name : {L"archive.zip", L"notes.txt", L"README", L"lib.dll", L"exe", L"x.exe.txt"})
        EXPECT_FALSE(RunsDroppedFiles(name, L"")) << name;
    EXPECT_FALSE(RunsDroppedFiles(L"C:\\my.exe\\notes", L"")) << "a dot in a folder is no extension";
    // The system's own list of program extensions counts as well.
    EXPECT_TRUE(RunsDroppedFiles(L"tool.tcl", L".COM;.EXE; .TCL;.BAT"));
    EXPECT_TRUE(RunsDroppedFiles(L"tool.Tcl", L".com;.tcl"));
    EXPECT_FALSE(RunsDroppedFiles(L"tool.tc", L".COM;.TCL"));
    EXPECT_FALSE(RunsDroppedFiles(L"tool.txt", L";;"));
}

TEST(DropLogic, ACutStaysACutByItsData) {
    EXPECT_TRUE(ClipboardHoldsCut(true, std::nullopt)) << "nothing has touched the clipboard";
    EXPECT_TRUE(ClipboardHoldsCut(true, deCopy | deLink));
    EXPECT_TRUE(ClipboardHoldsCut(false, deMove)) << "rendered again, the data still says move";
    EXPECT_FALSE(ClipboardHoldsCut(false, deCopy | deLink)) << "a copy put there since";
    EXPECT_FALSE(ClipboardHoldsCut(false, deCopy | deMove)) << "not a cut's data";
    EXPECT_FALSE(ClipboardHoldsCut(false, std::nullopt)) << "changed, and nothing says it is a cut";
}

TEST(DropLogic, ShortcutNames) {
    EXPECT_EQ(ShortcutFileName(L"C:\\Links", L"D:\\setup.exe", L""), L"C:\\Links\\setup.lnk");
    EXPECT_EQ(ShortcutFileName(L"C:\\Links", L"D:\\Tools\\README", L""), L"C:\\Links\\README.lnk");
    EXPECT_EQ(ShortcutFileName(L"C:", L"D:\\", L"D: Data disk "), L"C:\\Data disk (D).lnk");
    EXPECT_EQ(DropMenu(9).link, L"&Shortcut(s) Create Here");
    EXPECT_EQ(DropMenu(7).copy, L"Hierher &kopieren");
    EXPECT_EQ(DragFilesText(3, 2, 9), L"3 Files, 2 Directories");
    EXPECT_EQ(DragFilesText(0, 2, 9), L"2 Directories") << "no files, no files part";
    EXPECT_EQ(DragFilesText(4, 0, 7), L"4 Dateien");
}

}  // namespace
}  // namespace zandrel
