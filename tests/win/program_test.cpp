// The real zandrel.exe: its command line, and the texts it keeps scrambled.
#include <gtest/gtest.h>

#include <algorithm>

#include "launched_program.h"
#include "test_support.h"
#include "app/program.h"
#include "zandrel_version.h"
#include "zandrel_texts_plain.h"

namespace zandrel::test {
namespace {

TEST(Program, OneExistingFileFillsSourceAndTarget) {
    TempDir dir;
    const auto file = dir / L"some program.exe";
    WriteBytes(file, "MZ");
    Launched run;
    Launch(run, ZandrelPath(), L"\"" + file + L"\"");
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    const auto texts = EditTexts(main);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), file), 2) << "source and target";
    CloseAndWait(run, main);
}

TEST(Program, ARelativeNameIsMadeAFullPath) {
    TempDir dir;
    WriteBytes(dir / L"rel.exe", "MZ");
    Launched run;
    Launch(run, ZandrelPath(), L"rel.exe", dir.Path());
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    const auto texts = EditTexts(main);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), dir / L"rel.exe"), 2) << "source and target";
    CloseAndWait(run, main);
}

// One task-bar entry, the application's title: the only visible window of the
// program that has no owner and is no tool window.
TEST(Program, OneTaskBarEntryCarriesTheTitleZandrel) {
    Launched run;
    Launch(run, ZandrelPath(), L"");
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    std::vector<std::wstring> entries;
    for (const HWND w : VisibleWindows(run.pi.dwProcessId, nullptr)) {
        const LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
        if ((!GetWindow(w, GW_OWNER) && !(ex & WS_EX_TOOLWINDOW)) || (ex & WS_EX_APPWINDOW)) {
            wchar_t title[64] = {};
            GetWindowTextW(w, title, 64);
            entries.push_back(title);
        }
    }
    EXPECT_EQ(entries, std::vector<std::wstring>{L"Zandrel"});
    CloseAndWait(run, main);
}

TEST(Program, NoArgumentOrAMissingFileOpensTheWindowEmpty) {
    for (const std::wstring args : {L"", L"\"C:\\no such folder\\nothing.exe\""}) {
        Launched run;
        Launch(run, ZandrelPath(), args);
        const HWND main = FindMainWindow(run.pi.dwProcessId);
        ASSERT_TRUE(main) << Narrow(args);
        wchar_t title[64];
        GetWindowTextW(main, title, 64);
        EXPECT_STREQ(title, L"Orvo Zandrel v" ZANDREL_VERSION_SHORT_W);
        const auto texts = EditTexts(main);
        ASSERT_GE(texts.size(), 3u);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), L""), static_cast<long>(texts.size()) - (texts[0].empty() ? 0 : 1))
            << "only the UPX path may come from the settings";
        CloseAndWait(run, main);
    }
}

TEST(Program, TwoArgumentsEndWithoutShowingTheWindow) {
    TempDir dir;
    WriteBytes(dir / L"a.exe", "MZ");
    Launched run;
    Launch(run, ZandrelPath(), L"\"" + (dir / L"a.exe") + L"\" second");
    // Watched all along: the splash is seen (so the watch works), no other window ever.
    bool splashSeen = false;
    std::set<std::wstring> othersSeen;
    const ULONGLONG end = GetTickCount64() + 15000;
    while (WaitForSingleObject(run.pi.hProcess, 0) == WAIT_TIMEOUT && GetTickCount64() < end) {
        for (const HWND w : VisibleWindows(run.pi.dwProcessId, nullptr)) {
            wchar_t cls[64] = {};
            GetClassNameW(w, cls, 64);
            if (std::wstring(cls) == L"ZandrelBanner")
                splashSeen = true;
            else
                othersSeen.insert(cls);
        }
        Sleep(1);
    }
    ASSERT_EQ(WaitForSingleObject(run.pi.hProcess, 0), WAIT_OBJECT_0) << "the program did not end";
    EXPECT_TRUE(splashSeen);
    EXPECT_TRUE(othersSeen.empty()) << Narrow(*othersSeen.begin()) << " showed";
    DWORD code = 1;
    GetExitCodeProcess(run.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

// The main window still reaches the console window while it is destroyed: the
// console window must outlive it on every way out, the two-argument one too.
TEST(Program, TwoArgumentsEndBeforeAnyWindowShowsAndTheConsoleWindowGoesLast) {
    TempDir dir;
    WriteBytes(dir / L"a.exe", "MZ");
    MainDeps deps;
    deps.settingsKeyOverride = kTestKey;
    deps.splash = false;
    WindowLifetimes events;
    {
        ProgramWindows windows(deps);
        EXPECT_FALSE(windows.TreatArguments({dir / L"a.exe", L"second"}));
        EXPECT_FALSE(IsWindowVisible(windows.Main().Handle()));
        EXPECT_TRUE(windows.Main().edSource.Text().empty());
    }
    const std::size_t main = events.Order(L"ZandrelMain", false), console = events.Order(L"ZandrelMessageOutput", false);
    ASSERT_NE(main, 0u);
    ASSERT_NE(console, 0u);
    EXPECT_LT(main, console) << "the console window went before the main window that uses it";
    ClearSettings();
}

TEST(Program, NoScrambledTextAppearsInPlainForm) {
    const auto exe = ReadBytes(ZandrelPath());
    auto wide = [](const std::string& s) {
        std::string w;
        for (char c : s) w += std::string{c, '\0'};
        return w;
    };
    // The scan does find a plain caption, so a miss below means something.
    ASSERT_NE(exe.find(wide("Orvo Zandrel v" ZANDREL_VERSION_SHORT)), std::string::npos);
    for (const char* text : texts::kPlain) {
        const std::string ascii = text;
        // Texts this short (".dll", "*.*") occur in any program, in its import names.
        if (ascii.size() < 6) continue;
        const std::string utf16 = wide(ascii);
        EXPECT_EQ(exe.find(ascii), std::string::npos) << "plain: " << ascii;
        EXPECT_EQ(exe.find(utf16), std::string::npos) << "UTF-16: " << ascii;
    }
}

}  // namespace
}  // namespace zandrel::test
