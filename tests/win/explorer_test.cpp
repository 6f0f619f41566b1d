// Explorer's menus: the real keys under HKEY_CURRENT_USER\Software\Classes and the
// real Send To shortcut of the tests' own Wine prefix (Classes has no test-only
// place), wiped before and after each test so a failed one leaves nothing behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <thread>

#include "app/descrambler.h"
#include "framework/names.h"
#include "framework/registry.h"
#include "launched_program.h"
#include "shell/BatchHandOver.h"
#include "shell/ExplorerEntries.h"
#include "shell/explorer_entries.h"
#include "shell/hand_over.h"
#include "test_support.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

const std::wstring kExeShell = L"Software\\Classes\\SystemFileAssociations\\.exe\\shell";
const std::wstring kFolderShell = L"Software\\Classes\\Directory\\shell";
const std::wstring kForeignVerb = kExeShell + L"\\SomeoneElsesVerb";

void MakeShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
    IShellLinkW* link = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                              reinterpret_cast<void**>(&link)));
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    IPersistFile* file = nullptr;
    ASSERT_HRESULT_SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    EXPECT_HRESULT_SUCCEEDED(file->Save(path.c_str(), TRUE));
    file->Release();
    link->Release();
}

bool KeyThere(const std::wstring& key) { return RegistryKey::Open(HKEY_CURRENT_USER, key, false).has_value(); }

std::wstring ValueOf(const std::wstring& key, const std::wstring& name) {
    const auto opened = RegistryKey::Open(HKEY_CURRENT_USER, key, false);
    return opened ? opened->ReadString(name).value_or(L"") : L"";
}

void PutValue(const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    RegistryKey::Open(HKEY_CURRENT_USER, key, true)->WriteString(name, data);
}

std::vector<std::wstring> SubKeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    const auto key = RegistryKey::Open(HKEY_CURRENT_USER, path, false);
    HKEY raw = nullptr;
    if (!key || RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(raw, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(raw);
    return names;
}

// Everything any test here may have made, whoever's it looks like.
void WipeEverything() {
    for (const auto& verb : OurVerbKeys()) RegistryKey::DeleteKey(HKEY_CURRENT_USER, verb.key);
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, kForeignVerb);
    for (const auto& parent : ParentKeysOfOurVerbs()) {
        const auto key = RegistryKey::Open(HKEY_CURRENT_USER, parent, false);
        if (key && key->Empty()) RegDeleteKeyW(HKEY_CURRENT_USER, parent.c_str());
    }
    DeleteFileW(SendToShortcutPath().c_str());
    RemoveDirectoryW(SendToShortcutPath().c_str());
}

class ExplorerMenus : public ::testing::Test {
protected:
    void SetUp() override { WipeEverything(); }
    void TearDown() override { WipeEverything(); }
};

// What the installer learns from a /register-shell start: its exit code (99: it did not end).
DWORD RegisterShellExitCode() {
    Launched run;
    Launch(run, ZandrelPath(), L"/register-shell");
    DWORD code = 99;
    if (WaitForSingleObject(run.pi.hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(run.pi.hProcess, &code);
    return code;
}

TEST_F(ExplorerMenus, AddWritesExactlyTheEntriesAndRemoveLeavesNothing) {
    const std::wstring exe = ZandrelPath();
    for (const auto& parent : ParentKeysOfOurVerbs()) ASSERT_FALSE(KeyThere(parent)) << Narrow(parent);
    EXPECT_EQ(ExplorerEntriesState(exe), EntriesState::None);
    const ShellOutcome added = AddExplorerEntries(exe);
    ASSERT_TRUE(added.done) << Narrow(added.reason);
    for (const auto& entry : ExplorerEntries(exe))
        EXPECT_EQ(ValueOf(entry.key, entry.name), entry.data) << Narrow(entry.key) << " " << Narrow(entry.name);
    // Nothing more than that: each verb holds its own values and its command, no other.
    for (const auto& verb : OurVerbKeys()) {
        std::size_t wanted = 0;
        for (const auto& entry : ExplorerEntries(exe)) wanted += entry.key == verb.key;
        auto names = RegistryKey::Open(HKEY_CURRENT_USER, verb.key, false)->ValueNames();
        EXPECT_EQ(names.size(), wanted) << Narrow(verb.key);
        EXPECT_EQ(SubKeys(verb.key), std::vector<std::wstring>{L"command"});
        EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, verb.CommandKey(), false)->ValueNames().size(), 1u);
    }
    EXPECT_EQ(ValueOf(kExeShell + L"\\ZandrelOpen\\command", L""), L"\"" + exe + L"\" \"%1\"");
    EXPECT_EQ(ValueOf(kFolderShell + L"\\ZandrelCompress\\command", L""), L"\"" + exe + L"\" /batch \"%1\"");
    const auto shortcut = ReadShortcut(SendToShortcutPath());
    ASSERT_TRUE(shortcut);
    EXPECT_TRUE(SameName(shortcut->target, exe)) << Narrow(shortcut->target);
    EXPECT_EQ(shortcut->arguments, L"/batch");
    EXPECT_EQ(FileNamePart(SendToShortcutPath()), L"Zandrel.lnk");
    EXPECT_EQ(ExplorerEntriesState(exe), EntriesState::Ours);
    EXPECT_EQ(ExplorerEntriesState(L"C:\\elsewhere\\zandrel.exe"), EntriesState::Partly);

    // A second add (after a move of the program) points everything at the new place.
    ASSERT_TRUE(AddExplorerEntries(L"C:\\moved\\zandrel.exe").done);
    EXPECT_EQ(ValueOf(kExeShell + L"\\ZandrelOpen", L"Icon"), L"C:\\moved\\zandrel.exe");
    EXPECT_EQ(ExplorerEntriesState(L"C:\\moved\\zandrel.exe"), EntriesState::Ours);

    const ShellOutcome removed = RemoveExplorerEntries();
    ASSERT_TRUE(removed.done) << Narrow(removed.reason);
    for (const auto& parent : ParentKeysOfOurVerbs()) EXPECT_FALSE(KeyThere(parent)) << Narrow(parent);
    EXPECT_FALSE(Exists(SendToShortcutPath()));
    EXPECT_EQ(ExplorerEntriesState(exe), EntriesState::None);
    EXPECT_TRUE(RemoveExplorerEntries().done) << "removing what is not there is no failure";
}

TEST_F(ExplorerMenus, RemoveLeavesForeignVerbsAndShortcutsAlone) {
    ASSERT_TRUE(AddExplorerEntries(ZandrelPath()).done);
    // Beside ours: another program's verb, and one of our names that another program took.
    PutValue(kForeignVerb + L"\\command", L"", L"\"C:\\tools\\other.exe\" \"%1\"");
    PutValue(kFolderShell + L"\\ZandrelCompress\\command", L"", L"\"C:\\tools\\other.exe\" /zip \"%1\"");
    // A Send To shortcut of our name that starts another program.
    MakeShortcut(SendToShortcutPath(), L"C:\\tools\\other.exe", L"/zip");
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::Partly);

    ASSERT_TRUE(RemoveExplorerEntries().done);
    EXPECT_EQ(ValueOf(kForeignVerb + L"\\command", L""), L"\"C:\\tools\\other.exe\" \"%1\"");
    EXPECT_EQ(ValueOf(kFolderShell + L"\\ZandrelCompress\\command", L""), L"\"C:\\tools\\other.exe\" /zip \"%1\"");
    EXPECT_EQ(SubKeys(kExeShell), std::vector<std::wstring>{L"SomeoneElsesVerb"}) << "ours went, the other stayed";
    EXPECT_FALSE(KeyThere(L"Software\\Classes\\SystemFileAssociations\\.dll")) << "emptied by us: gone";
    const auto shortcut = ReadShortcut(SendToShortcutPath());
    ASSERT_TRUE(shortcut) << "another program's shortcut was removed";
    EXPECT_EQ(shortcut->target, L"C:\\tools\\other.exe");
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None);

    // Nor does an add replace it: it says why, and takes back what it wrote.
    const ShellOutcome add = AddExplorerEntries(ZandrelPath());
    EXPECT_FALSE(add.done);
    EXPECT_NE(add.reason.find(L"C:\\tools\\other.exe"), std::wstring::npos) << Narrow(add.reason);
    EXPECT_EQ(ReadShortcut(SendToShortcutPath()).value_or(ShortcutFacts{}).target, L"C:\\tools\\other.exe");
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None);
}

TEST_F(ExplorerMenus, AnotherZandrelsEntriesAreOursToReplaceAndRemove) {
    const std::wstring old = L"D:\\Old Place\\ZANDREL.EXE";
    ASSERT_TRUE(AddExplorerEntries(old).done);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::Partly);
    // Only some of them left (a hand-edited registry): still ours, still removed.
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, kExeShell + L"\\ZandrelOpen");
    DeleteFileW(SendToShortcutPath().c_str());
    EXPECT_EQ(ExplorerEntriesState(old), EntriesState::Partly);
    ASSERT_TRUE(RemoveExplorerEntries().done);
    for (const auto& verb : OurVerbKeys()) EXPECT_FALSE(KeyThere(verb.key)) << Narrow(verb.key);
    EXPECT_EQ(ExplorerEntriesState(old), EntriesState::None);
}
// Attack: another program's verb under one of our names (or the user's own, edited by
// hand) is theirs, like a Send To shortcut of our name that starts another program: an
// add (the installer's, twice) says why it cannot, and leaves it exactly as it was.
TEST_F(ExplorerMenus, AnAddNeverReplacesAnotherProgramsVerbOfOurName) {
    const std::wstring theirs = kExeShell + L"\\ZandrelCompress";
    const std::wstring command = L"\"C:\\tools\\other.exe\" /zip \"%1\"";
    PutValue(theirs, L"", L"Zip it with Other");
    PutValue(theirs + L"\\command", L"", command);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ShellOutcome added = AddExplorerEntries(ZandrelPath());
        EXPECT_FALSE(added.done) << "attempt " << attempt;
        EXPECT_NE(added.reason.find(L"C:\\tools\\other.exe"), std::wstring::npos) << Narrow(added.reason);
        EXPECT_EQ(ValueOf(theirs + L"\\command", L""), command) << "their verb was replaced";
        EXPECT_EQ(ValueOf(theirs, L""), L"Zip it with Other");
    }
    // The installer's way: the exit code tells, and their verb stays through a remove too.
    EXPECT_EQ(RegisterShellExitCode(), 1u);
    EXPECT_TRUE(RemoveExplorerEntries().done);
    EXPECT_EQ(ValueOf(theirs + L"\\command", L""), command);

    // A command that is no text at all (not as we write it) is not ours either.
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, theirs);
    const DWORD number = 7;
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (theirs + L"\\command").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(raw, L"", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(raw);
    EXPECT_FALSE(AddExplorerEntries(ZandrelPath()).done);
    EXPECT_TRUE(KeyThere(theirs + L"\\command")) << "a verb of another kind was removed";

    // A half-made key of ours (an add ended before its command) is no one else's: replaced.
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, theirs);
    PutValue(theirs, L"Icon", L"C:\\old\\zandrel.exe");
    const ShellOutcome added = AddExplorerEntries(ZandrelPath());
    EXPECT_TRUE(added.done) << Narrow(added.reason);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::Ours);
}

// Attack: working menus of another Zandrel (an installed one), then an add from this copy
// whose Send To shortcut cannot be written (another program holds the old one open, as a
// scanner does). The add fails, and must leave the menus that worked as they were, not
// take them away with its own.
TEST_F(ExplorerMenus, AFailedAddLeavesTheMenusThatWereThere) {
    const std::wstring installed = L"C:\\Installed\\zandrel.exe";
    ASSERT_TRUE(AddExplorerEntries(installed).done);
    const std::wstring shortcut = SendToShortcutPath();
    const HANDLE held = CreateFileW(shortcut.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ShellOutcome added = AddExplorerEntries(ZandrelPath());
    CloseHandle(held);
    EXPECT_FALSE(added.done);
    EXPECT_NE(added.reason.find(shortcut), std::wstring::npos) << Narrow(added.reason);
    EXPECT_EQ(ExplorerEntriesState(installed), EntriesState::Ours) << "the menus that worked were taken away";
}

TEST_F(ExplorerMenus, AFailedAddTakesBackWhatItWroteAndSaysWhy) {
    // The shortcut cannot be written: a folder holds its name.
    ASSERT_TRUE(CreateDirectoryW(SendToShortcutPath().c_str(), nullptr));
    const ShellOutcome added = AddExplorerEntries(ZandrelPath());
    EXPECT_FALSE(added.done);
    EXPECT_NE(added.reason.find(SendToShortcutPath()), std::wstring::npos) << Narrow(added.reason);
    for (const auto& parent : ParentKeysOfOurVerbs()) EXPECT_FALSE(KeyThere(parent)) << Narrow(parent);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None);
    // The installer learns it from the exit code.
    EXPECT_EQ(RegisterShellExitCode(), 1u);
    EXPECT_EQ(ExplorerEntriesState(ZandrelPath()), EntriesState::None);
}

}  // namespace
}  // namespace zandrel::test
