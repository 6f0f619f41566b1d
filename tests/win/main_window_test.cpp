// The main window on the real registry, real files and real windows.
#include <gtest/gtest.h>

#include "app/descrambler.h"
#include "app/globals.h"
#include "app/settings.h"

#include <shlobj.h>
#include "framework/application.h"
#include "framework/registry.h"
#include "jobs/run_and_wait.h"
#include "test_support.h"
#include "zandrel_version.h"
#include "zandrel_texts.h"

#include <sddl.h>

namespace zandrel::test {
namespace {

std::wstring Name(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr4(stored)); }
std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

RECT WindowRect(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return r;
}

using StartUp = MainWindowTest;

TEST_F(StartUp, NoStoredSettingsGiveTheDesignedDefaults) {
    MakeWindow();
    EXPECT_EQ(WindowText(form->Handle()), L"Orvo Zandrel v" ZANDREL_VERSION_SHORT_W);
    EXPECT_EQ(form->edUPX.Text(), L"");
    EXPECT_EQ(form->cbCompressRatio.ItemText(form->cbCompressRatio.ItemIndex()), L"6");
    EXPECT_EQ(form->cbCompressRatio.Items(),
              (std::vector<std::wstring>{L"best", L"9", L"8", L"7", L"6", L"5", L"4", L"3", L"2", L"1"}));
    EXPECT_TRUE(form->chkBackup.Checked());
    EXPECT_TRUE(form->chkDosBox.Checked());
    EXPECT_FALSE(form->chkQ.Checked() || form->chkQQ.Checked() || form->chkQQQ.Checked());
    EXPECT_TRUE(form->rbCompress.Checked());
    EXPECT_FALSE(form->rbDecompress.Checked());
    EXPECT_EQ(form->FilterComboBox1.ItemIndex(), 1);
    EXPECT_EQ(form->FilterComboBox1.ItemText(1), L"Executable (*.exe)");
    EXPECT_EQ(form->lblCurDir.Text(), L"");
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.left, TfrmMain::kDesignLeft);
    EXPECT_EQ(r.top, TfrmMain::kDesignTop);
    EXPECT_TRUE(dialogs.reports.empty());
    EXPECT_TRUE(dialogs.boxes.empty());
    // Nothing is written by a start-up.
    EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kTestKey, false).has_value());
    // The program's folder ends in a separator.
    ASSERT_FALSE(ExeDir.empty());
    EXPECT_EQ(ExeDir.back(), L'\\');
}

TEST_F(StartUp, ClientAreaFollowsTheDesignAtTheWindowsDpi) {
    MakeWindow();
    const UINT dpi = GetDpiForWindow(form->Handle());
    RECT client;
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, MulDiv(644 + 14, static_cast<int>(dpi), 120));
    EXPECT_EQ(client.bottom, MulDiv(504 + 22 + 14, static_cast<int>(dpi), 120)) << "with the status line";
    const LONG style = GetWindowLongW(form->Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
}

TEST_F(StartUp, StoredSettingsEdgeCases) {
    StoreSetting(Name(texts::ValUpxPath), L"C:\\tools\\upx.exe");
    StoreSetting(Name(texts::ValLevel), L"BEST");
    StoreSetting(Name(texts::ValBackup), L"false");
    StoreSetting(Name(texts::ValDosBox), L"0");
    StoreSetting(Name(texts::ValQ), L"1");
    StoreSetting(Name(texts::ValQQ), L"1");
    StoreSetting(Name(texts::ValQQQ), L"1");
    StoreSetting(Name(texts::ValTop), std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
    StoreSetting(Name(texts::ValLeft), L"0");
    MakeWindow();
    EXPECT_EQ(form->edUPX.Text(), L"C:\\tools\\upx.exe");
    EXPECT_EQ(form->cbCompressRatio.ItemIndex(), 0);
    EXPECT_TRUE(form->chkBackup.Checked()) << "only \"0\" clears the backup";
    EXPECT_FALSE(form->chkDosBox.Checked());
    EXPECT_FALSE(form->chkQ.Checked());
    EXPECT_FALSE(form->chkQQ.Checked());
    EXPECT_TRUE(form->chkQQQ.Checked());
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.top, TfrmMain::kDesignTop) << "a top equal to the screen height is ignored";
    EXPECT_EQ(r.left, 0);
}

TEST_F(StartUp, UnknownLevelLeavesNoSelectionAndStartRefuses) {
    StoreSetting(Name(texts::ValLevel), L"11");
    StoreSetting(Name(texts::ValBackup), L"0");
    MakeWindow();
    EXPECT_EQ(form->cbCompressRatio.ItemIndex(), -1);
    EXPECT_FALSE(form->chkBackup.Checked());
    TempDir dir;
    WriteBytes(dir / L"app.exe", "MZ program");
    UseStandin(*form);
    form->edSource.SetText(dir / L"app.exe");
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::MsgNoLevel)});
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(StartUp, TopThatIsNoIntegerIsReportedAndSkipsTheRest) {
    StoreSetting(Name(texts::ValTop), L"12abc");
    StoreSetting(Name(texts::ValLeft), L"5");
    MakeWindow();
    EXPECT_EQ(dialogs.reports, std::vector<std::wstring>{L"'12abc' is not a valid integer value"});
    EXPECT_EQ(WindowRect(form->Handle()).left, TfrmMain::kDesignLeft) << "the left after a bad top is not applied";
    // The program goes on: the window works.
    form->edSource.SetText(L"x");
    EXPECT_EQ(form->edTarget.Text(), L"x");
}

TEST_F(StartUp, ASettingThatCannotBeReadSkipsTheSplash) {
    StoreSetting(Name(texts::ValLeft), L"left");
    splash = true;
    WindowLifetimes windows;
    MakeWindow();
    EXPECT_EQ(dialogs.reports, std::vector<std::wstring>{L"'left' is not a valid integer value"});
    EXPECT_EQ(windows.First(L"ZandrelBanner", true), 0u) << "the preparation ended before its splash";
    EXPECT_NE(windows.First(L"ZandrelMain", true), 0u);
}

TEST_F(StartUp, SettingOfTheWrongRegistryTypeIsReported) {
    ASSERT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, kTestKey, true));
    const DWORD six = 6;
    HKEY raw;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey.c_str(), 0, KEY_SET_VALUE, &raw), ERROR_SUCCESS);
    const auto level = Name(texts::ValLevel);
    RegSetValueExW(raw, level.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&six), sizeof six);
    RegCloseKey(raw);
    MakeWindow();
    EXPECT_EQ(dialogs.reports, std::vector<std::wstring>{L"Invalid data type for '" + level + L"'"});
    EXPECT_TRUE(IsWindow(form->Handle()));
}

TEST_F(StartUp, FavouriteFoldersFillTheMenuUpToTheFirstGap) {
    const auto sub = kTestKey + Name(texts::FavoritesSubKey);
    WriteIniToReg(sub, L"0", L"C:\\first");
    WriteIniToReg(sub, L"1", L"D:\\second");
    WriteIniToReg(sub, L"3", L"E:\\never read");
    MakeWindow();
    ASSERT_EQ(GetMenuItemCount(form->pmFavoriteDir), 2);
    EXPECT_EQ(form->FavoriteItems[0], L"C:\\first");
    EXPECT_EQ(form->FavoriteItems[1], L"D:\\second");
    EXPECT_EQ(form->FavoriteItems[2], L"");
    wchar_t text[64];
    GetMenuStringW(form->pmFavoriteDir, 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"D:\\second");
}

using Settings = MainWindowTest;

TEST_F(Settings, KeepSettingsWritesExactlyTheOptions) {
    MakeWindow();
    form->cbCompressRatio.SetItemIndex(0);
    form->chkBackup.Click();  // clears it
    form->chkQ.Click();
    form->btnKeepSettings.Click();
    EXPECT_EQ(StoredSetting(Name(texts::ValLevel)), L"best");
    EXPECT_EQ(StoredSetting(Name(texts::ValBackup)), L"0");
    EXPECT_EQ(StoredSetting(Name(texts::ValDosBox)), L"1");
    EXPECT_EQ(StoredSetting(Name(texts::ValQ)), L"1");
    EXPECT_EQ(StoredSetting(Name(texts::ValQQ)), L"0");
    EXPECT_EQ(StoredSetting(Name(texts::ValQQQ)), L"0");
    EXPECT_EQ(StoredSetting(Name(texts::ValUpxPath)), L"") << "Keep settings stores nothing else";
    EXPECT_EQ(StoredSetting(Name(texts::ValTop)), L"");

    // With no level selected the stored level stays.
    form->cbCompressRatio.SetItemIndex(-1);
    form->btnKeepSettings.Click();
    EXPECT_EQ(StoredSetting(Name(texts::ValLevel)), L"best");
}

// The settings key as an administrator locks it: everyone may read it, no one may write.
class ReadOnlySettings {
public:
    ReadOnlySettings() { Set(L"D:P(A;;KR;;;WD)"); }
    ~ReadOnlySettings() { Set(L"D:(A;;KA;;;WD)"); }

private:
    static void Set(const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        HKEY key = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
        RegCloseKey(key);
        LocalFree(sd);
    }
};

// Attack: a settings key that can be read but not written. The user's choices are still
// there: the window must show them, not the defaults; storing is skipped in silence.
TEST_F(Settings, AKeyThatCanOnlyBeReadStillGivesItsSettings) {
    StoreSetting(Name(texts::ValUpxPath), L"C:\\tools\\upx.exe");
    StoreSetting(Name(texts::ValLevel), L"best");
    StoreSetting(Name(texts::ValQ), L"1");
    StoreSetting(L"AdvancedMethod", L"lzma");
    {
        ReadOnlySettings locked;
        HKEY probe = nullptr;
        ASSERT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey.c_str(), 0, KEY_SET_VALUE, &probe), ERROR_SUCCESS)
            << "the key is not locked: this Wine does not check a key's access";
        MakeWindow();
        EXPECT_EQ(form->edUPX.Text(), L"C:\\tools\\upx.exe");
        EXPECT_EQ(form->cbCompressRatio.ItemIndex(), 0);
        EXPECT_TRUE(form->chkQ.Checked());
        EXPECT_EQ(form->Advanced.method, UpxMethod::Lzma);
        form->cbCompressRatio.SetItemIndex(4);
        form->btnKeepSettings.Click();
        EXPECT_TRUE(dialogs.reports.empty()) << "storing into a key that cannot be written is skipped in silence";
        EXPECT_EQ(StoredSetting(Name(texts::ValLevel)), L"best");
    }
}

TEST_F(Settings, ExitStoresBothPositionsAndTheNextStartUsesThem) {
    MakeWindow();
    SetWindowPos(form->Handle(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    form->btnExit.Click();
    EXPECT_FALSE(IsWindow(form->Handle())) << "Exit closes the main window";
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closing ends the application";
    EXPECT_EQ(StoredSetting(Name(texts::ValTop)), L"150");
    EXPECT_EQ(StoredSetting(Name(texts::ValLeft)), L"200");
    EXPECT_EQ(StoredSetting(L"MsgOutTop"), L"63") << "the message window's position is stored too";
    EXPECT_EQ(StoredSetting(L"MsgOutLeft"), L"182");

    form->MessageOutput = nullptr;
    messageOutput.reset();
    form.reset();
    MakeWindow();
    const RECT r = WindowRect(form->Handle());
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 150);
}

TEST_F(Settings, ClosingTheWindowOtherwiseStoresNothing) {
    MakeWindow();
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_EQ(StoredSetting(Name(texts::ValTop)), L"");
}

TEST_F(Settings, ChoosingFilesStoresPathAndFolders) {
    TempDir dir;
    WriteBytes(dir / L"upx.exe", "MZ");
    MakeWindow();
    dialogs.files.push_back(dir / L"upx.exe");
    form->btnUPX.Click();
    EXPECT_EQ(form->edUPX.Text(), dir / L"upx.exe");
    EXPECT_EQ(StoredSetting(Name(texts::ValUpxPath)), dir / L"upx.exe");
    EXPECT_EQ(StoredSetting(Name(texts::ValUpxDir)), dir.Path());
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].filter, Message(texts::FilterUpx));
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, L"") << "no stored folder yet";

    // The next dialog starts in the stored folder; cancelling changes nothing.
    form->btnUPX.Click();
    ASSERT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(dialogs.fileRequests[1].initialFolder, dir.Path());
    EXPECT_EQ(StoredSetting(Name(texts::ValUpxPath)), dir / L"upx.exe");

    dialogs.files.push_back(dir / L"prog.exe");
    form->btnSource.Click();
    EXPECT_EQ(form->edSource.Text(), dir / L"prog.exe");
    EXPECT_EQ(form->edTarget.Text(), dir / L"prog.exe");
    EXPECT_EQ(StoredSetting(Name(texts::ValSourceDir)), dir.Path());

    dialogs.files.push_back(dir / L"out.exe");
    form->btnTarget.Click();
    EXPECT_EQ(form->edTarget.Text(), dir / L"out.exe");
    EXPECT_EQ(form->edSource.Text(), dir / L"prog.exe");
    EXPECT_EQ(StoredSetting(Name(texts::ValTargetDir)), dir.Path());
    EXPECT_TRUE(dialogs.fileRequests.back().save) << "the target may be a new file";

    // A stored folder that no longer exists is not offered.
    StoreSetting(Name(texts::ValSourceDir), dir / L"gone");
    form->edSource.SetText(L"");
    form->btnSource.Click();
    EXPECT_EQ(dialogs.fileRequests.back().initialFolder, L"");
}

using Form = MainWindowTest;

TEST_F(Form, QuietBoxesExcludeEachOther) {
    MakeWindow();
    form->chkQ.Click();
    form->chkQQ.Click();
    EXPECT_FALSE(form->chkQ.Checked());
    EXPECT_TRUE(form->chkQQ.Checked());
    form->chkQQ.Click();
    EXPECT_FALSE(form->chkQ.Checked() || form->chkQQ.Checked() || form->chkQQQ.Checked());
    form->chkQQQ.Click();
    form->chkQ.Click();
    EXPECT_TRUE(form->chkQ.Checked());
    EXPECT_FALSE(form->chkQQQ.Checked());
}

TEST_F(Form, TypingTheSourceOverwritesTheTarget) {
    MakeWindow();
    form->edTarget.SetText(L"C:\\chosen\\before.exe");
    form->edSource.SetText(L"C:\\new\\source.exe");
    EXPECT_EQ(form->edTarget.Text(), L"C:\\new\\source.exe");
}

TEST_F(Form, LabelsAndButtonsCarryTheirCaptions) {
    MakeWindow();
    EXPECT_EQ(form->lblUPX.Text(), L"UPX progra&m:");
    EXPECT_EQ(form->lblSource.Text(), L"So&urce file:");
    EXPECT_EQ(form->lblTarget.Text(), L"Ta&rget file:");
    EXPECT_EQ(form->gbCommands.Text(), L" Commands ");
    EXPECT_EQ(form->gbOptions.Text(), L" Options ");
    EXPECT_EQ(form->lblCompressRatio.Text(), L"Compress&ion level :");
    EXPECT_EQ(form->btnUPXVersion.Text(), L"UPX &Version");
    EXPECT_EQ(form->btnStart.Text(), L"&Start");
    EXPECT_EQ(form->btnExit.Text(), L"E&xit");
    EXPECT_TRUE(GetWindowLongW(form->edUPX.Handle(), GWL_STYLE) & ES_READONLY);
}

TEST_F(Form, TabOrderOfTheButtonBarAndTheRightPanel) {
    MakeWindow();
    auto next = [](HWND from) { return GetNextDlgTabItem(GetAncestor(from, GA_ROOT), from, FALSE); };
    EXPECT_EQ(next(form->btnStart.Handle()), form->btnExit.Handle());
    EXPECT_EQ(next(form->btnExit.Handle()), form->btnUPXVersion.Handle());
    EXPECT_EQ(next(form->btnUPXVersion.Handle()), form->btnUPXHelp.Handle());
    EXPECT_EQ(next(form->btnUPXHelp.Handle()), form->btnHelp.Handle());
    EXPECT_EQ(next(form->btnHelp.Handle()), form->btnAbout.Handle());
    EXPECT_EQ(next(form->edUPX.Handle()), form->btnUPX.Handle());
    EXPECT_EQ(next(form->btnUPX.Handle()), form->edSource.Handle());
    EXPECT_EQ(next(form->btnTarget.Handle()), form->rbCompress.Handle());
    EXPECT_EQ(next(form->cbCompressRatio.Handle()), form->chkBackup.Handle());
    EXPECT_EQ(next(form->chkQQQ.Handle()), form->btnKeepSettings.Handle());
}

TEST_F(Form, OneDroppedFileFillsTheSourceWhateverItsLength) {
    MakeWindow();
    std::wstring deep = L"C:\\" + std::wstring(280, L'd') + L"\\program with blanks.exe";
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({deep})), 0);
    EXPECT_EQ(form->edSource.Text(), deep) << "the whole name, not 253 characters of it";
    EXPECT_EQ(form->edTarget.Text(), deep);

    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\a.exe", L"C:\\b.exe"})), 0);
    EXPECT_EQ(form->edSource.Text(), deep) << "two files make a batch, not a source";
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::MsgNoUpx)}) << "refused: no UPX program";

    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = current;
    if (expected.back() != L'\\') expected += L'\\';
    SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"relative.dll"})), 0);
    EXPECT_EQ(form->edSource.Text(), expected + L"relative.dll") << "made a full path";
}

TEST_F(Form, AltKeysMoveTheFocusAndPressButtons) {
    MakeWindow();
    SetForegroundWindow(form->Handle());
    auto alt = [this](wchar_t key) {
        // What TranslateMessage makes of Alt+key, handled by the program's own loop.
        PostMessageW(GetFocus() ? GetFocus() : form->Handle(), WM_SYSCHAR, key, 1 << 29);
        Application::Instance().ProcessMessages();
    };
    form->btnExit.SetFocus();
    alt(L'u');
    EXPECT_EQ(GetFocus(), form->edSource.Handle()) << "Alt+U goes to the source field";
    alt(L'r');
    EXPECT_EQ(GetFocus(), form->edTarget.Handle()) << "Alt+R goes to the target field";
    alt(L'i');
    EXPECT_EQ(GetFocus(), form->cbCompressRatio.Handle()) << "Alt+I goes to the level list";
    alt(L'q');  // no such accelerator: nothing happens
    alt(L's');
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::MsgNoUpx)}) << "Alt+S presses Start";
    alt(L'b');
    EXPECT_FALSE(form->chkBackup.Checked()) << "Alt+B toggles Backup";
}

}  // namespace
}  // namespace zandrel::test

int main(int argc, char** argv) {
    if (int code = 0; zandrel::test::StartAndLeaveIfAsked(code)) return code;
    if (int code = 0; zandrel::test::ResetEventIfAsked(code)) return code;
    if (int code = 0; zandrel::test::EchoInputSlowlyIfAsked(code)) return code;
    if (int code = 0; zandrel::test::CloseOutputAndStayIfAsked(code)) return code;
    zandrel::Application::Instance().Initialize();
    zandrel::Application::Instance().SetTitle(L"Zandrel");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
