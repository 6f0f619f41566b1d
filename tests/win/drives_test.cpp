// The drive table and the drive selector on Wine's drives (C: and Z: are fixed).
#include <gtest/gtest.h>

#include <algorithm>

#include "browser/IEComboBox.h"
#include "browser/IEDriveInfo.h"
#include "framework/error.h"
#include "test_support.h"

namespace zandrel::test {
namespace {

const wchar_t* kPolicy = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

// Sets the NoDrives policy for the tables made while it lives.
struct NoDrivesPolicy {
    explicit NoDrivesPolicy(std::uint32_t bits, DWORD type = REG_BINARY) {
        HKEY key;
        RegCreateKeyExW(HKEY_CURRENT_USER, kPolicy, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExW(key, L"NoDrives", 0, type, reinterpret_cast<const BYTE*>(&bits), sizeof bits);
        RegCloseKey(key);
    }
    ~NoDrivesPolicy() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kPolicy, L"NoDrives"); }
};

TEST(DriveTable, FixedDrivesAreReadyAndNamed) {
    TDriveInfo table;
    EXPECT_EQ(table.NoDrives(), 0u);
    const auto c = table.Get(L'c');
    EXPECT_TRUE(c.Valid);
    EXPECT_EQ(c.DriveType, static_cast<std::uint32_t>(DRIVE_FIXED));
    EXPECT_EQ(c.Size, -1) << "nothing touches a drive before it is needed";
    EXPECT_FALSE(c.Init);
    const auto status = table.ReadDriveStatus(L'C', TDriveInfo::dsIcon | TDriveInfo::dsReady | TDriveInfo::dsNames);
    EXPECT_TRUE(status.valid && status.ready);
    const auto read = table.Get(L'C');
    EXPECT_GT(read.Size, 0);
    EXPECT_TRUE(read.HasPidl);
    EXPECT_EQ(read.PrettyName.rfind(L"C: ", 0), 0u) << "pretty name starts with the letter";
    EXPECT_EQ(read.PrettyName.find(L"(C"), std::wstring::npos) << "and is cut before (C";
    EXPECT_FALSE(read.DisplayName.empty());
    EXPECT_GT(table.GetImageIndex(L'C'), 0);
    EXPECT_EQ(table.GetPrettyName(L'Q'), L"Q:") << "a missing drive is only its letter";
    EXPECT_FALSE(table.ReadDriveStatus(L'Q', TDriveInfo::dsReady).valid);
    try {
        table.Get(L'1');
        ADD_FAILURE();
    } catch (const ConvertError& e) {
        EXPECT_EQ(e.Message(), L"1 is a invalid drive letter.");
    }
}

TEST(DriveTable, ThePolicyHidesDrives) {
    for (const DWORD type : {static_cast<DWORD>(REG_BINARY), static_cast<DWORD>(REG_DWORD)}) {
        NoDrivesPolicy hideZ(1u << 25, type);
        TDriveInfo table;
        EXPECT_EQ(table.NoDrives(), 1u << 25);
        EXPECT_FALSE(table.Get(L'Z').Valid);
        EXPECT_TRUE(table.Get(L'C').Valid);
    }
}

class Selector : public ::testing::Test {
protected:
    void SetUp() override {
        Window::RegisterClassOnce(L"ZandrelSelectorHost");
        host = CreateWindowExW(0, L"ZandrelSelectorHost", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(host);
    }
    void TearDown() override { DestroyWindow(host); }
    void Make(TDriveInfo& table) {
        combo.Table = &table;
        combo.Create(host, {2, 2, 221, 230}, Scaler(120));
        combo.OnChange = [this] { ++changes; };
        combo.SetDriveTypes(DriveTypeBit(TDriveType::dtFloppy) | DriveTypeBit(TDriveType::dtFixed) |
                            DriveTypeBit(TDriveType::dtCDROM));
    }
    std::vector<wchar_t> Letters() const {
        std::vector<wchar_t> letters;
        for (const auto& item : combo.Items()) letters.push_back(item.front());
        return letters;
    }
    HWND host = nullptr;
    TIEDriveComboBox combo;
    int changes = 0;
};

TEST_F(Selector, OffersTheFixedDrivesAndSelectsCWithoutAnEvent) {
    TDriveInfo table;
    Make(table);
    const auto letters = Letters();
    EXPECT_NE(std::find(letters.begin(), letters.end(), L'C'), letters.end());
    EXPECT_NE(std::find(letters.begin(), letters.end(), L'Z'), letters.end());
    EXPECT_EQ(combo.ItemText(combo.ItemIndex()).front(), L'C');
    EXPECT_EQ(combo.ItemText(combo.ItemIndex()), L"C" + table.GetPrettyName(L'C'));
    combo.SetDrive(L'z');
    EXPECT_EQ(combo.Drive(), L'Z');
    EXPECT_EQ(combo.ItemText(combo.ItemIndex()).front(), L'Z');
    combo.SetDrive(L'Q');
    EXPECT_EQ(combo.Drive(), L'Z') << "a drive that is not offered changes nothing";
    EXPECT_EQ(changes, 0) << "set by the program: no change event";

    // A pick by the user raises it, with Drive already set.
    combo.SetItemIndex(0);
    Control::Notify(combo.Handle(), CBN_SELCHANGE);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo.Drive(), combo.ItemText(0).front());
}

TEST_F(Selector, APolicyHiddenDriveIsNotOffered) {
    NoDrivesPolicy hideZ(1u << 25);
    TDriveInfo table;
    Make(table);
    const auto letters = Letters();
    EXPECT_EQ(std::find(letters.begin(), letters.end(), L'Z'), letters.end());
    EXPECT_NE(std::find(letters.begin(), letters.end(), L'C'), letters.end());
}

// A network drive that is away can stall whoever asks about it: the selector
// shows none, so at start-up it must not even ask.
TEST_F(MainWindowTest, TheDriveSelectorTouchesNoDriveOfATypeItDoesNotShow) {
    TDriveInfo table([](wchar_t letter) -> std::uint32_t {
        if (letter == L'R') return DRIVE_REMOTE;
        if (letter == L'M') return DRIVE_RAMDISK;
        return GetDriveTypeW((std::wstring(1, letter) + L":\\").c_str());
    });
    ASSERT_TRUE(table.Get(L'R').Valid);
    MainDeps deps;
    deps.runner = &runner;
    deps.console = &console;
    deps.settingsKeyOverride = kTestKey;
    deps.splash = false;
    deps.drives = &table;
    TfrmMain main(deps);
    EXPECT_FALSE(table.Get(L'R').Init) << "the network drive was asked about";
    EXPECT_FALSE(table.Get(L'M').Init) << "the RAM drive was asked about";
    const auto entries = main.cbShellDrive1.Items();
    for (const auto& entry : entries) EXPECT_TRUE(entry[0] != L'R' && entry[0] != L'M') << Narrow(entry);
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const std::wstring& e) { return e[0] == L'C'; }));
}

}  // namespace
}  // namespace zandrel::test
