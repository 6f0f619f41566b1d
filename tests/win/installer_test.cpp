// The installer as a script or a user runs it: silently into a fresh folder, over
// itself and over an older version, while the installed program runs, and out again.
#include <gtest/gtest.h>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "app/descrambler.h"
#include "framework/registry.h"
#include "shell/ExplorerEntries.h"
#include "launched_program.h"
#include "test_support.h"
#include "zandrel_texts.h"
#include "zandrel_version.h"

#ifdef ZANDREL_SETUP
namespace zandrel::test {
namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zandrel";
const wchar_t* const kZipFiles[] = {L"zandrel.exe", L"Zandrel.html", L"Process.avi", L"LICENSE.txt",
                                    L"THIRD-PARTY-NOTICES.txt"};
// The installer's exit code when the installed program is running.
constexpr long kRunning = 3;

std::wstring Unpacked() { return FromBuildPath(ZANDREL_UNPACKED) + L"\\"; }
std::wstring SettingsKeyPath() { return Widen8(BytsToEncStr4(texts::SettingsKey)); }

long RunAndWait(const std::wstring& exe, const std::wstring& arguments) {
    Launched run;
    Launch(run, exe, arguments);
    if (!run.pi.hProcess || WaitForSingleObject(run.pi.hProcess, 60000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(run.pi.hProcess, &code);
    return static_cast<long>(code);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::wstring StartMenuShortcut() { return KnownFolder(FOLDERID_Programs) + L"\\Zandrel.lnk"; }

std::optional<DWORD> ReadDword(const std::wstring& key, const wchar_t* name) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, &type, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

bool KeyExists(const std::wstring& path) { return RegistryKey::Open(HKEY_CURRENT_USER, path, false).has_value(); }

// Waits for a condition the uninstaller's own copy brings about after its starter ended.
template <class Done>
bool WaitFor(Done done, int waitMs = 30000) {
    for (int waited = 0; waited < waitMs; waited += 100) {
        if (done()) return true;
        Sleep(100);
    }
    return done();
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        setup = FromBuildPath(ZANDREL_SETUP);
        ASSERT_TRUE(Exists(setup)) << "every 64-bit build makes the installer";
        ASSERT_TRUE(Exists(Unpacked() + L"zandrel.exe")) << "ctest's zip_contents test unpacks the zip first";
        RemoveTraces();
        folder = home.Path() + L"\\Zandrel";
    }
    // A failed test leaves nothing for the next: the entry and the shortcut are the prefix's own.
    void TearDown() override { RemoveTraces(); }
    static void RemoveTraces() {
        RegistryKey::DeleteKey(HKEY_CURRENT_USER, kUninstallKey);
        DeleteFileW(StartMenuShortcut().c_str());
        RemoveExplorerEntries();
    }
    long Install(const std::wstring& options = L"/NOEXPLORERMENUS") {
        return RunAndWait(setup, L"/S " + options + L" /D=" + folder);  // /D= comes last, unquoted
    }
    // The uninstaller hands over to a copy of itself and ends: done once its files are gone.
    bool Uninstall(const std::wstring& options = {}) {
        if (RunAndWait(folder + L"\\uninstall.exe", L"/S " + options) != 0) return false;
        return WaitFor([&] { return !Exists(folder + L"\\uninstall.exe") && !KeyExists(kUninstallKey); });
    }
    std::wstring setup, folder;
    TempDir home{L"zi"};
};

TEST_F(Installer, ASilentInstallPutsTheZipsFilesAShortcutAndAnEntryAmongTheInstalledPrograms) {
    ASSERT_EQ(Install(), 0);
    std::uint64_t bytes = 0;
    for (const auto* name : kZipFiles) {
        const std::string installed = ReadBytes(folder + L"\\" + name);
        EXPECT_TRUE(installed == ReadBytes(Unpacked() + name)) << Narrow(name) << " is the zip's";
        bytes += installed.size();
    }
    ASSERT_TRUE(Exists(folder + L"\\uninstall.exe"));
    bytes += ReadBytes(folder + L"\\uninstall.exe").size();

    const auto entry = RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey, false);
    ASSERT_TRUE(entry) << "an entry among the installed programs";
    const std::wstring exe = folder + L"\\zandrel.exe";
    EXPECT_EQ(entry->ReadString(L"DisplayName"), L"Zandrel");
    EXPECT_EQ(entry->ReadString(L"DisplayVersion"), Widen8(ZANDREL_VERSION_FULL));
    EXPECT_EQ(entry->ReadString(L"Publisher"), L"The Zandrel authors");
    EXPECT_EQ(entry->ReadString(L"DisplayIcon"), exe + L",0");
    EXPECT_EQ(entry->ReadString(L"InstallLocation"), folder);
    EXPECT_EQ(entry->ReadString(L"UninstallString"), L"\"" + folder + L"\\uninstall.exe\"");
    EXPECT_EQ(entry->ReadString(L"QuietUninstallString"), L"\"" + folder + L"\\uninstall.exe\" /S");
    const auto size = ReadDword(kUninstallKey, L"EstimatedSize");
    ASSERT_TRUE(size);
    EXPECT_NEAR(static_cast<double>(*size), static_cast<double>(bytes) / 1024, 6) << "kilobytes of the files";
    EXPECT_EQ(ReadShortcut(StartMenuShortcut()).value_or(ShortcutFacts{}).target, exe) << "the Start menu's shortcut starts the installed program";

    // The installed program starts and does a job.
    TempDir work;
    EnvSwitch slow(L"STANDIN_SLEEP_MS", L"1000");
    Launched run;
    Launch(run, exe, L"", folder);
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    PacksAFileInAHiddenRun(run, main, work);
    CloseAndWait(run, main);
}

TEST_F(Installer, InstallingOverAnOlderVersionOrItselfWorksButNeverOverARunningZandrel) {
    ASSERT_EQ(Install(), 0);
    // What an older version left: other files and another version in the entry.
    WriteBytes(folder + L"\\Zandrel.html", "<html>an older help file</html>");
    if (auto entry = RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey, false)) entry->WriteString(L"DisplayVersion", L"0.9.0");
    ASSERT_EQ(Install(), 0);
    EXPECT_TRUE(ReadBytes(folder + L"\\Zandrel.html") == ReadBytes(Unpacked() + L"Zandrel.html")) << "the new help file";
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey, false)->ReadString(L"DisplayVersion"),
              Widen8(ZANDREL_VERSION_FULL));
    ASSERT_EQ(Install(), 0) << "the same version again";

    Launched run;
    Launch(run, folder + L"\\zandrel.exe", L"", folder);
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    WriteBytes(folder + L"\\Zandrel.html", "<html>changed while it runs</html>");
    EXPECT_EQ(Install(), kRunning) << "a running Zandrel is reported";
    EXPECT_EQ(ReadBytes(folder + L"\\Zandrel.html"), "<html>changed while it runs</html>") << "and nothing is copied";
    EXPECT_EQ(RunAndWait(folder + L"\\uninstall.exe", L"/S _?=" + folder), kRunning)
        << "the uninstaller leaves a running Zandrel alone too";
    EXPECT_TRUE(Exists(folder + L"\\zandrel.exe"));
    EXPECT_EQ(WaitForSingleObject(run.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program runs on";
    CloseAndWait(run, main);
    EXPECT_EQ(Install(), 0) << "once it has ended";
}

TEST_F(Installer, ASilentUninstallTakesAwayOnlyWhatItMadeAndKeepsTheSettingsUnlessAsked) {
    const std::wstring settings = SettingsKeyPath();
    ASSERT_EQ(Install(), 0);
    RegistryKey::Open(HKEY_CURRENT_USER, settings, true)->WriteString(L"ZandrelInstallerTest", L"kept");
    WriteBytes(folder + L"\\my notes.txt", "the user's own file");
    ASSERT_TRUE(Uninstall());
    for (const auto* name : kZipFiles) EXPECT_FALSE(Exists(folder + L"\\" + name)) << Narrow(name);
    EXPECT_EQ(ReadBytes(folder + L"\\my notes.txt"), "the user's own file") << "a file of the user's stays, and its folder";
    EXPECT_FALSE(Exists(StartMenuShortcut()));
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, settings, false)->ReadString(L"ZandrelInstallerTest"), L"kept");

    DeleteFileW((folder + L"\\my notes.txt").c_str());
    ASSERT_EQ(Install(), 0);
    ASSERT_TRUE(Uninstall(L"/REMOVESETTINGS"));
    // The settings go last, by the uninstaller's copy of itself, after its files.
    EXPECT_TRUE(WaitFor([&] { return !KeyExists(settings); })) << "the settings go when asked";
    EXPECT_TRUE(WaitFor([&] { return !Exists(folder); })) << "nothing of its own is left, nor its folder";
}

TEST_F(Installer, ExplorersMenusComeWithTheInstallByDefaultAndGoWithTheUninstall) {
    ASSERT_EQ(Install(L""), 0);
    const std::wstring exe = folder + L"\\zandrel.exe";
    EXPECT_EQ(ExplorerEntriesState(exe), EntriesState::Ours) << "added by the installed program itself";
    ASSERT_TRUE(Uninstall());
    EXPECT_EQ(ExplorerEntriesState(exe), EntriesState::None);
    EXPECT_FALSE(Exists(SendToShortcutPath()));

    // Entries another Zandrel (a zip's) added stay when this one is uninstalled.
    ASSERT_EQ(Install(), 0);
    const std::wstring zip = Unpacked() + L"zandrel.exe";
    ASSERT_TRUE(AddExplorerEntries(zip).done);
    ASSERT_TRUE(Uninstall());
    EXPECT_EQ(ExplorerEntriesState(zip), EntriesState::Ours);
}


// What an install into a folder of the user's, or a second install, could lose or leave.

TEST_F(Installer, AFolderHoldingAFileOfTheUsersNamedLikeZandrelsIsRefusedAndLeftAsItWas) {
    // /D= to an existing folder that already holds the user's own LICENSE.txt.
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(folder + L"\\LICENSE.txt", "the user's own licence, not Zandrel's");
    EXPECT_EQ(Install(), 4) << "refused";
    EXPECT_EQ(ReadBytes(folder + L"\\LICENSE.txt"), "the user's own licence, not Zandrel's");
    EXPECT_FALSE(Exists(folder + L"\\zandrel.exe")) << "nothing installed";
    EXPECT_FALSE(KeyExists(kUninstallKey));
    // A folder of the user's that holds other files only takes the install.
    DeleteFileW((folder + L"\\LICENSE.txt").c_str());
    WriteBytes(folder + L"\\notes.txt", "mine");
    ASSERT_EQ(Install(), 0);
    ASSERT_TRUE(Uninstall());
    EXPECT_EQ(ReadBytes(folder + L"\\notes.txt"), "mine");
}

TEST_F(Installer, TheEstimatedSizeCountsOnlyTheInstalledFiles) {
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(folder + L"\\the user's data.bin", std::string(8u << 20, 'x'));  // 8 MiB not of Zandrel's
    ASSERT_EQ(Install(), 0);
    std::uint64_t bytes = ReadBytes(folder + L"\\uninstall.exe").size();
    for (const auto* name : kZipFiles) bytes += ReadBytes(folder + L"\\" + name).size();
    const auto size = ReadDword(kUninstallKey, L"EstimatedSize");
    ASSERT_TRUE(size);
    EXPECT_NEAR(static_cast<double>(*size), static_cast<double>(bytes) / 1024, 6) << "kilobytes of Zandrel's files only";
}

TEST_F(Installer, UninstallingAStaleCopyLeavesTheLiveInstallsEntryAndShortcut) {
    // Installed into one folder, then (a user's choice of folder) into another.
    const std::wstring first = folder, second = home.Path() + L"\\Zandrel elsewhere";
    ASSERT_EQ(Install(), 0);
    folder = second;
    ASSERT_EQ(Install(), 0);
    const std::wstring live = second + L"\\zandrel.exe";
    ASSERT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey, false)->ReadString(L"InstallLocation"), second);
    // The first folder's uninstaller, run as a user who finds it would (or twice).
    ASSERT_EQ(RunAndWait(first + L"\\uninstall.exe", L"/S"), 0);
    ASSERT_TRUE(WaitFor([&] { return !Exists(first + L"\\uninstall.exe"); }));
    Sleep(1000);
    const auto entry = RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey, false);
    EXPECT_TRUE(entry) << "the entry of the install in " << Narrow(second) << " was removed by another folder's uninstaller";
    if (entry) {
        EXPECT_EQ(entry->ReadString(L"InstallLocation"), second);
    }
    EXPECT_EQ(ReadShortcut(StartMenuShortcut()).value_or(ShortcutFacts{}).target, live)
        << "the Start menu's shortcut to the live install was removed";
    EXPECT_TRUE(Exists(live));
    ASSERT_TRUE(Uninstall());
}

}  // namespace
}  // namespace zandrel::test
#endif
