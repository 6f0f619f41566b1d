// The file list's states a user runs into: folders that only look like the
// recycle bin, work that keeps its wait cursor, the view chosen during a
// load, a folder chosen while a name was typed, and what executing runs;
// renaming in place and the shell's context menu.
#include "browser_fixture.h"

#include "app/settings.h"
#include "browser/ShellFacts.h"
#include "framework/application.h"
#include "framework/registry.h"

namespace zandrel::test {
namespace {

// A folder in the root of drive C:, removed with everything in it.
struct RootFolder {
    std::wstring path;
    explicit RootFolder(const std::wstring& name) : path(L"C:\\" + name) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~RootFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Files f0000.exe ... in a folder: a load of them pumps messages on the way.
void ManyFiles(const std::wstring& folder, int count) {
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\f%04d.exe", i);
        WriteBytes(folder + name, "MZ");
    }
}

TEST_F(Browser, OnlyTheDrivesRecycleFolderItselfIsTheRecycleBinsView) {
    const std::wstring unique = std::to_wstring(GetCurrentProcessId());
    RootFolder parts(L"RecycledParts-" + unique), backup(L"Recycled Backup-" + unique);
    std::filesystem::create_directories(backup.path + L"\\sub");
    for (const auto& folder : {parts.path, backup.path + L"\\sub"}) {
        WriteBytes(folder + L"\\a.exe", "MZ");
        list->SetPath(folder);
        EXPECT_FALSE(list->IsRecycleBinView()) << Narrow(folder);
        EXPECT_EQ(list->ItemFullFileName(Find(L"a.exe")), folder + L"\\a.exe") << "the whole name";
        // Enter on the file fills the source field.
        form->edSource.SetText(L"");
        list->SetSelected(Find(L"a.exe"), true);
        Focus(L"a.exe");
        Enter();
        EXPECT_EQ(form->edSource.Text(), folder + L"\\a.exe") << Narrow(folder);
        // And it can be renamed.
        list->EditCaption(Find(L"a.exe"));
        EXPECT_NE(ListView_GetEditControl(list->Handle()), nullptr) << Narrow(folder);
        SendMessageW(ListView_GetEditControl(list->Handle()), WM_KEYDOWN, VK_ESCAPE, 0);
        PumpMessages();
        // A context-menu command (none chosen here) leaves the selected items in the list.
        list->ChooseFromMenu = [](HMENU, IContextMenu*) -> UINT { return 0; };
        list->SetSelected(Find(L"a.exe"), true);
        SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);
        list->ChooseFromMenu = nullptr;
        EXPECT_GE(Find(L"a.exe"), 0) << Narrow(folder);
        EXPECT_TRUE(list->IsSelected(Find(L"a.exe")));
    }
    // Enter on a folder there opens it (not its property sheet).
    std::filesystem::create_directories(parts.path + L"\\inner");
    list->SetPath(parts.path);
    for (int i : list->SelectedItems()) list->SetSelected(i, false);
    list->SetSelected(Find(L"inner"), true);
    Focus(L"inner");
    Enter();
    EXPECT_EQ(list->Path(), parts.path + L"\\inner");
    // The drive's own recycle folder is that view; it is listed by a file search like any
    // folder, so its items have whole names too, and a command leaves the selection there.
    RootFolder recycled(L"RECYCLED");
    WriteBytes(recycled.path + L"\\a.exe", "MZ");
    list->SetPath(recycled.path);
    EXPECT_TRUE(list->IsRecycleBinView());
    EXPECT_EQ(list->ItemFullFileName(Find(L"a.exe")), recycled.path + L"\\a.exe");
    list->ChooseFromMenu = [](HMENU, IContextMenu*) -> UINT { return 0; };
    list->SetSelected(Find(L"a.exe"), true);
    SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);
    list->ChooseFromMenu = nullptr;
    EXPECT_GE(Find(L"a.exe"), 0);
    list->SetPath(L"C:");
}

TEST_F(Browser, ALongLoadKeepsItsWaitCursorWhenTheMouseMoves) {
    AllFiles();
    TempDir dir;
    ManyFiles(dir.Path(), 600);
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    std::vector<bool> waiting;
    auto filter = list->OnAddFile;
    list->OnAddFile = [&](TDirView* v, TSearchRec& rec, bool& add) {
        filter(v, rec, add);
        if (rec.Name == L"f0300.exe") {
            // The mouse moves over the list meanwhile, and the system asks for its cursor.
            SendMessageW(list->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(list->Handle()),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            waiting.push_back(GetCursor() == wait);
            SendMessageW(form->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(form->Handle()),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            waiting.push_back(GetCursor() == wait);
        }
    };
    list->SetPath(dir.Path());
    EXPECT_EQ(waiting, (std::vector<bool>{true, true}));
    EXPECT_FALSE(Application::Instance().Busy()) << "and gone when the load ends";
    SendMessageW(list->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(list->Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), wait);
}

TEST_F(Browser, TheViewChosenDuringALoadFollowsItsButton) {
    AllFiles();
    TempDir dir;
    ManyFiles(dir.Path(), 600);
    auto filter = list->OnAddFile;
    list->OnAddFile = [&](TDirView* v, TSearchRec& rec, bool& add) {
        filter(v, rec, add);
        if (rec.Name == L"f0300.exe") ClickTool(form->btnViewStyle);  // during the load
    };
    list->SetPath(dir.Path());
    EXPECT_TRUE(form->btnViewStyle.Down());
    EXPECT_EQ(list->ViewStyle(), TViewStyle::vsReport) << "the view follows the pressed button";
    EXPECT_EQ(SendMessageW(list->Handle(), LVM_GETVIEW, 0, 0), LV_VIEW_DETAILS);
    // Ctrl+S during the next load switches back.
    list->OnAddFile = [&](TDirView* v, TSearchRec& rec, bool& add) {
        filter(v, rec, add);
        if (rec.Name == L"f0300.exe") KeyUp('S', {VK_CONTROL});
    };
    list->Reload(true);
    EXPECT_FALSE(form->btnViewStyle.Down());
    EXPECT_EQ(list->ViewStyle(), TViewStyle::vsSmallIcon);
}

TEST_F(Browser, AFolderChosenWhileANameWasTypedIsLoadedInFull) {
    AllFiles();
    TempDir a, b;
    ManyFiles(a.Path(), 150);  // more than a hundred: what was refreshed, not reloaded
    MakeDir(a / L"same");
    WriteBytes(b / L"same", "a file here, a folder there");
    WriteBytes(b / L"only-b.exe", "MZ");
    list->SetPath(a.Path());
    list->EditCaption(Find(L"f0000.exe"));
    ASSERT_FALSE(list->LoadEnabled());
    list->SetPath(b.Path());  // waits for the edit to end
    SendMessageW(ListView_GetEditControl(list->Handle()), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    ASSERT_TRUE(list->LoadEnabled());
    EXPECT_EQ(Sorted(Names(*list)), (std::vector<std::wstring>{L"..", L"only-b.exe", L"same"}));
    const TFileRec* same = list->Item(Find(L"same"));
    ASSERT_NE(same, nullptr);
    EXPECT_FALSE(same->IsDirectory) << "a record of the other folder was kept";
    EXPECT_EQ(same->Size, 27);
}

// A name typed before another folder was chosen belongs to the folder it was typed in.
TEST_F(Browser, ANameTypedWhileAnotherFolderWasChosenRenamesInItsOwnFolder) {
    AllFiles();
    TempDir a, b;
    WriteBytes(a / L"old.exe", "a's");
    WriteBytes(b / L"old.exe", "b's");
    list->SetPath(a.Path());
    list->EditCaption(Find(L"old.exe"));
    const HWND edit = ListView_GetEditControl(list->Handle());
    ASSERT_NE(edit, nullptr);
    list->SetPath(b.Path());  // a favourite chosen meanwhile: waits for the edit
    SetWindowTextW(edit, L"new.exe");
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages();
    EXPECT_EQ(ReadBytes(a / L"new.exe"), "a's") << "renamed where it was";
    EXPECT_FALSE(Exists(a / L"old.exe"));
    EXPECT_EQ(ReadBytes(b / L"old.exe"), "b's") << "the namesake in the other folder stays";
    EXPECT_FALSE(Exists(b / L"new.exe"));
    EXPECT_EQ(list->Path(), b.Path()) << "and then the chosen folder is shown";
    EXPECT_GE(Find(L"old.exe"), 0);
}

// A file type whose default command is not "open": the list runs that one.
// (Wine takes file types from the machine's classes only; Windows merges the user's.)
TEST_F(Browser, ExecutingAFileRunsItsDefaultCommandFromTheListsFolder) {
    const HKEY root = HKEY_LOCAL_MACHINE;
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring extension = L".zandreltest", type = L"ZandrelTestFile";
    TempDir dir;
    const auto log = dir / L"ran.log";
    {
        const auto ext = RegistryKey::Open(root, classes + extension, true);
        ext->WriteString(L"", type);
        const auto shell = RegistryKey::Open(root, classes + type + L"\\shell", true);
        shell->WriteString(L"", L"check");
        const auto command = RegistryKey::Open(root, classes + type + L"\\shell\\check\\command", true);
        command->WriteString(L"", L"\"" + StandinPath() + L"\" -t \"%1\"");
    }
    struct Unregister {
        std::wstring a, b;
        ~Unregister() {
            RegistryKey::DeleteKey(HKEY_LOCAL_MACHINE, a);
            RegistryKey::DeleteKey(HKEY_LOCAL_MACHINE, b);
        }
    } unregister{classes + extension, classes + type};
    EnvSwitch logging(L"STANDIN_LOG", log);
    AllFiles();
    WriteBytes(dir / L"doc.zandreltest", "x");
    list->SetPath(dir.Path());
    list->OnExecFile = [](TDirView*, int, bool&) {};  // this list may execute files
    dialogs.runForReal = true;
    list->SetSelected(Find(L"doc.zandreltest"), true);
    list->ExecuteCurrentFile();
    ASSERT_EQ(dialogs.ran.size(), 1u);
    EXPECT_EQ(dialogs.ran[0].second, dir.Path());
    for (int i = 0; i < 100 && ReadBytes(log).empty(); ++i) Sleep(50);
    EXPECT_NE(ReadBytes(log).find("-t"), std::string::npos) << "the default command ran: " << ReadBytes(log);
}

// The boxes of the pane as the user works them: keys in the control, whose own
// notification travels through the band bar to the main window.
TEST_F(Browser, ASortByTypeAsksTheShellOncePerExtension) {
    AllFiles();
    TempDir dir;
    // Extensions without icons of their own: outside a sort the shell is asked per file.
    for (int i = 0; i < 60; ++i) WriteBytes(dir / (L"f" + std::to_wstring(i) + (i % 3 ? L".txt" : L".dat")), "");
    list->SetPath(dir.Path());
    const long before = ShellQuestionsAsked();
    list->SetSortColumn(2);
    EXPECT_LE(ShellQuestionsAsked() - before, 4) << "two extensions";
    ASSERT_EQ(list->Count(), 61);
    EXPECT_EQ(list->Item(1)->FileExt, L"DAT");
    EXPECT_EQ(list->Item(21)->FileExt, L"TXT");
    EXPECT_FALSE(list->Item(1)->TypeName.empty());
}

TEST_F(Browser, NamesSortAsTheLocaleComparesThem) {
    AllFiles();
    TempDir dir;
    const std::vector<std::wstring> names{L"co-op.txt", L"coop.txt", L"Zebra.txt", L"ab10.txt", L"ab2.txt",
                                          L"\u00e9clair.txt", L"eclair.txt", L"_x.txt", L"~x.txt", L"1x.txt",
                                          L"a b.txt", L"A_b.txt", L"a'b.txt", L"\u00c4b.txt"};
    for (const auto& name : names) WriteBytes(dir / name, "");
    MakeDir(dir / L"Sub");
    MakeDir(dir / L"sub-2");
    list->SetPath(dir.Path());
    auto locale = [](const std::wstring& a, const std::wstring& b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
    };
    std::vector<std::wstring> files = names;
    std::sort(files.begin(), files.end(), locale);
    std::vector<std::wstring> expected{L"..", L"Sub", L"sub-2"};
    std::sort(expected.begin() + 1, expected.end(), locale);
    expected.insert(expected.end(), files.begin(), files.end());
    EXPECT_EQ(Names(*list), expected) << "folders once each, then files, each in the locale's order";
    list->SetSortAscending(false);
    std::reverse(files.begin(), files.end());
    const auto descending = Names(*list);
    ASSERT_EQ(descending.size(), files.size() + 3);
    // Descending, the folders follow the files.
    EXPECT_EQ(std::vector<std::wstring>(descending.begin() + 1, descending.begin() + 1 + static_cast<long>(files.size())),
              files);
}

TEST_F(Browser, TheDriveAndFilterBoxesWorkThroughTheirOwnNotifications) {
    TempDir dir;
    WriteBytes(dir / L"a.dll", "MZ");
    WriteBytes(dir / L"b.exe", "MZ");
    list->SetPath(dir.Path());
    ASSERT_EQ(Sorted(Names(*list)), (std::vector<std::wstring>{L"..", L"b.exe"}));
    const HWND filter = form->FilterComboBox1.Handle();
    SetFocus(filter);
    SendMessageW(filter, WM_KEYDOWN, VK_UP, 0);  // to "Dll files"
    EXPECT_EQ(list->Mask(), L"*.dll");
    EXPECT_EQ(Sorted(Names(*list)), (std::vector<std::wstring>{L"..", L"a.dll"}));
    SendMessageW(filter, WM_KEYDOWN, VK_END, 0);  // to "All files"
    EXPECT_EQ(list->Mask(), L"*.*");
    EXPECT_EQ(Sorted(Names(*list)), (std::vector<std::wstring>{L"..", L"a.dll", L"b.exe"}));

    // The drive selector: a drive picked with the keys is listed at once.
    const HWND drives = form->cbShellDrive1.Handle();
    SetFocus(drives);
    for (WPARAM key : {VK_HOME, VK_END}) {
        SendMessageW(drives, WM_KEYDOWN, key, 0);
        const wchar_t drive = form->cbShellDrive1.Drive();
        EXPECT_EQ(list->Path(), std::wstring(1, drive) + L":") << char(drive);
    }
}

// ---------------------------------------------------------------------------
// Renaming in place

class Rename : public Browser {
protected:
    HWND Editor() const { return ListView_GetEditControl(list->Handle()); }
    // Opens the editor on a name, types over it and presses Enter.
    void RenameTo(const std::wstring& from, const std::wstring& to) {
        list->EditCaption(Find(from));
        const HWND edit = Editor();
        ASSERT_NE(edit, nullptr) << Narrow(from);
        SetWindowTextW(edit, to.c_str());
        SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        PumpMessages();
    }
    TempDir dir;
};

TEST_F(Rename, ANewNameOnDiskAndInTheList) {
    AllFiles();
    WriteBytes(dir / L"old.exe", "MZ");
    list->SetPath(dir.Path());
    std::vector<std::wstring> events;
    list->OnBeginRename = [&](TDirView*, int, const std::wstring& n) { events.push_back(L"begin " + n); };
    list->OnEndRename = [&](TDirView*, int, const std::wstring& n) { events.push_back(L"end " + n); };
    list->EditCaption(Find(L"old.exe"));
    ASSERT_NE(Editor(), nullptr);
    EXPECT_FALSE(list->LoadEnabled()) << "no loads while a name is typed";
    SendMessageW(Editor(), WM_CHAR, L':', 0);
    EXPECT_EQ(dialogs.beeps, 1) << "a character a name may not hold is refused";
    SetWindowTextW(Editor(), L"new.dll");
    SendMessageW(Editor(), WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages();
    EXPECT_TRUE(list->LoadEnabled());
    EXPECT_TRUE(Exists(dir / L"new.dll"));
    EXPECT_FALSE(Exists(dir / L"old.exe"));
    const int item = Find(L"new.dll");
    ASSERT_GE(item, 0);
    EXPECT_EQ(list->Item(item)->DisplayName, L"new.dll");
    EXPECT_EQ(list->Item(item)->FileExt, L"DLL");
    EXPECT_EQ(events, (std::vector<std::wstring>{L"begin new.dll", L"end new.dll"}));
    EXPECT_TRUE(list->FileOperator.CanUndo());
    EXPECT_TRUE(list->FileOperator.UndoExecute());
    EXPECT_TRUE(Exists(dir / L"old.exe")) << "the rename can be undone";
}

TEST_F(Rename, InvalidNamesAndTakenNames) {
    AllFiles();
    WriteBytes(dir / L"a.exe", "MZ");
    WriteBytes(dir / L"b.exe", "MZ");
    list->SetPath(dir.Path());
    RenameTo(L"a.exe", L"x:y.exe");
    ASSERT_EQ(dialogs.reports.size(), 1u);
    EXPECT_EQ(dialogs.reports[0], L"Filename contains invalid characters:  \\ / : * ? \" < > |");
    EXPECT_TRUE(Exists(dir / L"a.exe"));
    EXPECT_TRUE(list->LoadEnabled());
    TempDir other;
    list->SetPath(other.Path());
    EXPECT_EQ(list->Path(), other.Path()) << "the list still loads folders";
    list->SetPath(dir.Path());

    // A taken name: the message with OK and Abort; OK opens the editor again with the name tried.
    dialogs.answers.push_back(BoxAnswer::Ok);
    RenameTo(L"a.exe", L"b.exe");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, L"File allready exists: b.exe");
    EXPECT_EQ(dialogs.boxes[0].buttons, BoxButtons::OkAbort);
    EXPECT_TRUE(Exists(dir / L"a.exe"));
    ASSERT_NE(Editor(), nullptr) << "the editor is open again";
    EXPECT_EQ(WindowText(Editor()), L"b.exe");
    SendMessageW(Editor(), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    EXPECT_TRUE(list->LoadEnabled());
    dialogs.answers.push_back(BoxAnswer::Abort);
    RenameTo(L"a.exe", L"b.exe");
    EXPECT_EQ(Editor(), nullptr) << "Abort leaves it";
    EXPECT_EQ(list->Item(Find(L"a.exe"))->FileName, L"a.exe");

    // The parent entry is not renamed.
    list->EditCaption(0);
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_TRUE(list->LoadEnabled());
}

// The shell's context menu: a real menu from the shell; the test chooses by verb.
// The menu's Rename is the list's own editor, not the shell's command.
TEST_F(Rename, TheContextMenusRenameOpensTheListsOwnEditor) {
    AllFiles();
    WriteBytes(dir / L"a.exe", "MZ");
    list->SetPath(dir.Path());
    FakeContextMenu menu;
    list->ContextMenuFor = [&](const std::vector<int>&) -> IContextMenu* { return &menu; };
    list->ChooseFromMenu = [&](HMENU, IContextMenu*) -> UINT { return menu.first + 0; };  // "rename"
    list->SetSelected(Find(L"a.exe"), true);
    Focus(L"a.exe");
    SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);
    PumpMessages();
    const HWND edit = Editor();
    ASSERT_NE(edit, nullptr) << "the caption editor is open";
    EXPECT_TRUE(menu.invoked.empty()) << "the shell's rename is not carried out";
    SetWindowTextW(edit, L"b.exe");
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages();
    EXPECT_TRUE(Exists(dir / L"b.exe"));
    // Any other command is the shell's.
    list->ChooseFromMenu = [&](HMENU, IContextMenu*) -> UINT { return menu.first + 2; };  // "copy"
    list->SetSelected(Find(L"b.exe"), true);
    SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);
    EXPECT_EQ(menu.invoked, std::vector<std::wstring>{L"copy"});
    PendingClipboardMark = TClipboardMark::None;
}

TEST_F(Rename, TheShellsContextMenuCutsCopiesAndRefreshes) {
    AllFiles();
    WriteBytes(dir / L"a.exe", "MZ");
    WriteBytes(dir / L"b.exe", "MZ");
    list->SetPath(dir.Path());
    std::wstring wanted;
    std::vector<std::wstring> verbs;
    list->ChooseFromMenu = [&](HMENU menu, IContextMenu* shell) -> UINT {
        verbs.clear();
        UINT found = 0;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            const UINT id = GetMenuItemID(menu, i);
            if (id == 0 || id == static_cast<UINT>(-1)) continue;
            wchar_t verb[256]{};
            if (FAILED(shell->GetCommandString(id - 1, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb), 256))) continue;
            verbs.push_back(verb);
            if (_wcsicmp(verb, wanted.c_str()) == 0) found = id;
        }
        return found;
    };
    auto menuFor = [&](const std::wstring& name, const std::wstring& verb) {
        wanted = verb;
        for (int i : list->SelectedItems()) list->SetSelected(i, false);
        list->SetSelected(Find(name), true);
        list->SetFocusedItem(Find(name));
        SendMessageW(list->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list->Handle()), -1);  // the menu key
        PumpMessages();
    };

    // (Wine's shell offers no Rename in this menu, so the list's own editor is not reached from here.)
    menuFor(L"a.exe", L"properties-not-chosen");
    for (const auto* verb : {L"open", L"cut", L"copy", L"delete", L"properties"})
        EXPECT_NE(std::find(verbs.begin(), verbs.end(), verb), verbs.end()) << "the shell's own commands: " << Narrow(verb);
    EXPECT_TRUE(list->LoadEnabled()) << "asking whether a name may be edited leaves loads allowed";

    menuFor(L"b.exe", L"cut");
    EXPECT_EQ(PendingClipboardMark, TClipboardMark::Cut);
    EXPECT_TRUE(list->Item(Find(L"b.exe"))->Cut);
    EXPECT_TRUE(ListView_GetItemState(list->Handle(), Find(L"b.exe"), LVIS_CUT) & LVIS_CUT) << "shown dimmed";
    menuFor(L"a.exe", L"cut");
    EXPECT_FALSE(list->Item(Find(L"b.exe"))->Cut) << "the mark moves to the new selection";
    menuFor(L"a.exe", L"copy");
    EXPECT_EQ(PendingClipboardMark, TClipboardMark::Copy);

    // Nothing chosen: the list refreshes itself.
    WriteBytes(dir / L"c.exe", "MZ");
    menuFor(L"a.exe", L"no such verb");
    EXPECT_GE(Find(L"c.exe"), 0);
    EXPECT_TRUE(Exists(dir / L"a.exe") && Exists(dir / L"b.exe"));
    PendingClipboardMark = TClipboardMark::None;
}

}  // namespace
}  // namespace zandrel::test
