// The zip as a user gets it. ctest's zip_contents test unpacks it into a fresh
// folder first; these tests start the program from there and check that it
// finds what it needs beside itself and tells one version everywhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "app/globals.h"
#include "jobs/hrglass.h"
#include "launched_program.h"
#include "test_support.h"

namespace zandrel::test {
namespace {

std::wstring UnpackedFolder() { return FromBuildPath(ZANDREL_UNPACKED) + L"\\"; }

struct Version {
    int major = -1, minor = -1, patch = -1;
    std::wstring Short() const { return std::to_wstring(major) + L"." + std::to_wstring(minor); }
};

// The version the zip's name carries: "zandrel-1.0.0-x86_64.zip".
Version ZipVersion() {
    Version v;
    std::sscanf(ZANDREL_ZIP_NAME, "zandrel-%d.%d.%d-", &v.major, &v.minor, &v.patch);
    return v;
}

// The program file's version record: its numbers, and its product version text.
struct VersionRecord {
    Version numbers;
    std::wstring productVersion;
};

VersionRecord ReadVersionRecord(const std::wstring& exe) {
    VersionRecord record;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (!size) return record;
    std::vector<char> info(size);
    if (!GetFileVersionInfoW(exe.c_str(), 0, size, info.data())) return record;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        record.numbers = {static_cast<int>(HIWORD(fixed->dwFileVersionMS)),
                          static_cast<int>(LOWORD(fixed->dwFileVersionMS)),
                          static_cast<int>(HIWORD(fixed->dwFileVersionLS))};
    }
    wchar_t* text = nullptr;
    if (VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", reinterpret_cast<void**>(&text),
                       &length) &&
        text)
        record.productVersion = text;
    return record;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

HWND ChildWithText(HWND parent, const std::wstring& text) {
    for (HWND child = FindWindowExW(parent, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(parent, child, nullptr, nullptr)) {
        if (TextOf(child) == text) return child;
        if (const HWND inner = ChildWithText(child, text)) return inner;
    }
    return nullptr;
}

HWND WaitForWindowTitled(DWORD pid, const std::wstring& title, int waitMs = 10000) {
    for (int waited = 0; waited < waitMs; waited += 50) {
        for (const HWND w : VisibleWindows(pid, nullptr))
            if (TextOf(w) == title) return w;
        Sleep(50);
    }
    return nullptr;
}

class Package : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        folder = UnpackedFolder();
        ASSERT_TRUE(Exists(folder + L"zandrel.exe"))
            << "ctest's zip_contents test unpacks the zip into " << Narrow(folder) << " first";
    }
    void TearDown() override {
        ExeDir = savedExeDir;
        MainWindowTest::TearDown();
    }
    std::wstring folder;
    std::wstring savedExeDir = ExeDir;
};

TEST_F(Package, TheUnpackedProgramStartsAndTellsTheZipsVersionEverywhere) {
    const Version version = ZipVersion();
    ASSERT_GE(version.major, 0) << ZANDREL_ZIP_NAME;

    const VersionRecord record = ReadVersionRecord(folder + L"zandrel.exe");
    EXPECT_EQ(record.numbers.major, version.major);
    EXPECT_EQ(record.numbers.minor, version.minor);
    EXPECT_EQ(record.numbers.patch, version.patch);
    EXPECT_EQ(record.productVersion, version.Short());

    const std::string help = ReadBytes(folder + L"Zandrel.html");
    EXPECT_NE(help.find("Version " + Narrow(version.Short()) + "<"), std::string::npos);

    Launched run;
    Launch(run, folder + L"zandrel.exe", L"", folder);
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    EXPECT_EQ(TextOf(main), L"Orvo Zandrel v" + version.Short());

    // The About box of the shipped program, opened by its button.
    const HWND about = ChildWithText(main, L"&About");
    ASSERT_TRUE(about);
    PostMessageW(about, BM_CLICK, 0, 0);
    const HWND box = WaitForWindowTitled(run.pi.dwProcessId, L"Zandrel version " + version.Short() + L" - About");
    ASSERT_TRUE(box) << "the About box names the zip's version";
    EXPECT_TRUE(ChildWithText(box, L"Zandrel version " + version.Short()));
    const HWND ok = ChildWithText(box, L"&OK");
    ASSERT_TRUE(ok);
    PostMessageW(ok, BM_CLICK, 0, 0);
    for (int waited = 0; waited < 5000 && IsWindow(box) && IsWindowVisible(box); waited += 50) Sleep(50);
    CloseAndWait(run, main);
}

TEST_F(Package, HelpAndTheAnimationAreFoundBesideTheUnpackedProgram) {
    MakeWindow();
    ExeDir = folder;  // as the unpacked program finds its own folder
    form->btnHelp.Click();
    EXPECT_EQ(dialogs.opened, std::vector<std::wstring>{folder + L"Zandrel.html"});
    EXPECT_TRUE(dialogs.boxes.empty()) << "no message that the help file is missing";

    Thourglass wait(form->Handle());
    EXPECT_TRUE(wait.HasAnimation()) << "Process.avi beside the program";
}

}  // namespace
}  // namespace zandrel::test
