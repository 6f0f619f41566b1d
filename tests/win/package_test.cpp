// The zip as a user gets it. ctest's zip_contents test unpacks it into a fresh
// folder first; these tests start the program from there and check that it
// finds what it needs beside itself and tells one version everywhere.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <vector>

#include <algorithm>

#include "app/descrambler.h"
#include "app/globals.h"
#include "framework/registry.h"
#include "jobs/hrglass.h"
#include "launched_program.h"
#include "test_support.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring UnpackedFolder() { return FromBuildPath(ZANDREL_UNPACKED) + L"\\"; }

struct Version {
    int major = -1, minor = -1, patch = -1;
    std::wstring Short() const { return std::to_wstring(major) + L"." + std::to_wstring(minor); }
    std::wstring Full() const { return Short() + L"." + std::to_wstring(patch); }
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

// For the test's life, the shell opens .html files with the UPX stand-in, which
// records the name it was given (STANDIN_LOG): the Help button's file becomes
// visible without a browser. Wine takes file classes from HKLM only.
class HtmlOpensWithTheStandin {
public:
    HtmlOpensWithTheStandin() {
        auto extension = RegistryKey::Open(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.html", false);
        if (extension) previous_ = extension->ReadString(L"").value_or(L"");
        hadExtension_ = extension.has_value();
        extension.reset();
        auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.html", true);
        if (key) key->WriteString(L"", L"ZandrelTestHtml");
        auto command =
            RegistryKey::Open(HKEY_LOCAL_MACHINE, L"Software\\Classes\\ZandrelTestHtml\\shell\\open\\command", true);
        // Listing only reads the file.
        if (command) command->WriteString(L"", L"\"" + StandinPath() + L"\" -l \"%1\"");
    }
    ~HtmlOpensWithTheStandin() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\ZandrelTestHtml");
        if (!hadExtension_) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.html");
        } else if (auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.html", true)) {
            key->WriteString(L"", previous_);
        }
    }

private:
    bool hadExtension_ = false;
    std::wstring previous_;
};

class Package : public ::testing::Test {
protected:
    void SetUp() override {
        folder = UnpackedFolder();
        ASSERT_TRUE(Exists(folder + L"zandrel.exe"))
            << "ctest's zip_contents test unpacks the zip into " << Narrow(folder) << " first";
    }
    std::wstring folder;
};

TEST_F(Package, TheUnpackedProgramStartsAndTellsTheZipsVersionEverywhere) {
    const Version version = ZipVersion();
    ASSERT_GE(version.major, 0) << ZANDREL_ZIP_NAME;

    const VersionRecord record = ReadVersionRecord(folder + L"zandrel.exe");
    EXPECT_EQ(record.numbers.major, version.major);
    EXPECT_EQ(record.numbers.minor, version.minor);
    EXPECT_EQ(record.numbers.patch, version.patch);
    EXPECT_EQ(record.productVersion, version.Full());

    const std::string help = ReadBytes(folder + L"Zandrel.html");
    EXPECT_NE(help.find("Version " + Narrow(version.Full()) + "<"), std::string::npos);

    Launched run;
    Launch(run, folder + L"zandrel.exe", L"", folder);
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    // Captions and the About box name major.minor.
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

TEST_F(Package, TheUnpackedProgramOpensItsHelpFileAndRunsUpx) {
    TempDir work;
    const auto log = work / L"standin.log";
    EnvSwitch logged(L"STANDIN_LOG", log);
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"1000");  // the wait window stays up meanwhile
    HtmlOpensWithTheStandin association;

    Launched run;
    Launch(run, folder + L"zandrel.exe", L"", folder);
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);

    // Help opens the help file beside the program.
    const HWND helpButton = ChildWithText(main, L"H&elp");
    ASSERT_TRUE(helpButton);
    PostMessageW(helpButton, BM_CLICK, 0, 0);
    std::string opened;
    for (int waited = 0; waited < 15000 && opened.find("Zandrel.html") == std::string::npos; waited += 100) {
        Sleep(100);
        opened = Exists(log) ? ReadBytes(log) : std::string();
    }
    EXPECT_NE(opened.find(Narrow(folder + L"Zandrel.html")), std::string::npos) << opened;
    EXPECT_NE(ReadBytes(folder + L"Zandrel.html").find("<html"), std::string::npos) << "the help file is left as it is";

    PacksAFileInAHiddenRun(run, main, work);
    CloseAndWait(run, main);
}

// The wait window's own lookup, made from the unpacked program's folder (which the
// Help test above shows the shipped program finds): Wine's animation control
// cannot be watched from another process.
TEST_F(Package, TheWaitWindowFindsTheAnimationBesideTheUnpackedProgram) {
    const std::wstring saved = ExeDir;
    ExeDir = folder;
    {
        Thourglass wait(GetDesktopWindow());
        EXPECT_TRUE(wait.HasAnimation()) << "Process.avi beside the program";
        EXPECT_TRUE(wait.Play());
    }
    ExeDir = saved;
}

TEST_F(Package, WithoutItsHelpFileTheProgramSaysSo) {
    TempDir copy;
    for (const wchar_t* name : {L"zandrel.exe", L"Process.avi"})
        ASSERT_TRUE(CopyFileW((folder + name).c_str(), (copy / name).c_str(), FALSE));
    Launched run;
    Launch(run, copy / L"zandrel.exe", L"", copy.Path());
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    PostMessageW(ChildWithText(main, L"H&elp"), BM_CLICK, 0, 0);
    const HWND box = WaitForWindowOfClass(run.pi.dwProcessId, L"#32770");
    ASSERT_TRUE(box);
    EXPECT_TRUE(ChildWithText(box, Widen8(BytsToEncStr2(texts::MsgHelpMissing)) + L"\n" + copy / L"Zandrel.html"))
        << "the box names where the help file belongs";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int waited = 0; waited < 5000 && IsWindow(box) && IsWindowVisible(box); waited += 50) Sleep(50);
    CloseAndWait(run, main);
}

}  // namespace
}  // namespace zandrel::test
