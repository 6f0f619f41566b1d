// The file browser pane under Wine: the directory list on real temp folders,
// its display and sort, and the main window's pane handlers.
#include "browser_fixture.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "browser/IEDriveInfo.h"
#include "browser/ShellFacts.h"
#include "framework/application.h"
#include "framework/error.h"
#include "framework/registry.h"

namespace zandrel::test {
namespace {

// ---------------------------------------------------------------------------
// Listing

TEST_F(Browser, ListsFilesFoldersHiddenFilesAndTheParentEntryFirst) {
    AllFiles();
    TempDir dir;
    WriteBytes(dir / L"b.exe", "MZ");
    WriteBytes(dir / L"a.dll", "MZ");
    WriteBytes(dir / L"readme", "text");
    WriteBytes(dir / L"secret.exe", "MZ");
    SetFileAttributesW((dir / L"secret.exe").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeDir(dir / L"sub");
    MakeDir(dir / L"zz.nomatch");

    list->SetPath(dir.Path() + L"\\");
    EXPECT_EQ(list->Path(), dir.Path()) << "trailing backslashes are dropped";
    EXPECT_TRUE(list->DirOK());
    EXPECT_TRUE(list->HasParentDir());
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"sub", L"zz.nomatch", L"a.dll", L"b.exe", L"readme",
                                                        L"secret.exe"}))
        << "parent entry, folders, files; each by name";
    const auto* parent = list->Item(0);
    EXPECT_TRUE(parent->IsParentDir && parent->IsDirectory);
    EXPECT_EQ(parent->TypeName, L"Up one level");
    EXPECT_EQ(list->Item(Find(L"sub"))->Size, -1);
    EXPECT_EQ(list->Item(Find(L"readme"))->Size, 4);
    EXPECT_EQ(list->Item(Find(L"b.exe"))->FileExt, L"EXE");
    EXPECT_EQ(list->Item(Find(L"secret.exe"))->Attr & 0x37, GetFileAttributesW((dir / L"secret.exe").c_str()) & 0x37)
        << "attributes as the file system has them";
    EXPECT_EQ(list->FilesSize(), 2 + 2 + 4 + 2);
    EXPECT_EQ(list->ItemFullFileName(Find(L"a.dll")), dir / L"a.dll");

    // The mask list: each file once, folders whatever their names.
    list->SetMask(L" *.EXE , *.dll ,*.e* ");
    EXPECT_EQ(list->Mask(), L"*.exe;*.dll;*.e*");
    EXPECT_EQ(Names(*list),
              (std::vector<std::wstring>{L"..", L"sub", L"zz.nomatch", L"a.dll", L"b.exe", L"secret.exe"}));
    list->SetMask(L"");
    EXPECT_EQ(list->Mask(), L"*.*");

    // An owner that turns every file away leaves the folders.
    list->OnAddFile = [](TDirView*, TSearchRec& rec, bool& add) { add = (rec.Attr & FILE_ATTRIBUTE_DIRECTORY) != 0; };
    list->Reload(false);
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"sub", L"zz.nomatch"}));
}

TEST_F(Browser, SettingTheShownPathDoesNotReloadButReloadDoes) {
    TempDir dir;
    int loads = 0, updated = 0;
    list->OnStartLoading = [&](TDirView*) { ++loads; };
    list->OnDirUpdated = [&](TDirView*) { ++updated; };
    list->SetPath(dir.Path());
    list->SetPath(dir.Path());
    list->SetPath(dir.Path() + L"\\\\");
    EXPECT_EQ(loads, 1);
    list->Reload(true);
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(updated, 2);
    EXPECT_EQ(list->LastPath(), L"") << "the first path had no predecessor";
}

TEST_F(Browser, DriveRootsHaveNoParentEntryAndBadPathsLeaveAnEmptyList) {
    list->SetPath(L"C:\\");
    EXPECT_EQ(list->Path(), L"C:");
    EXPECT_TRUE(list->DirOK());
    EXPECT_FALSE(list->HasParentDir());
    EXPECT_GE(list->FindFileItem(L"windows"), 0);

    int loaded = 0, updated = 0;
    list->OnLoaded = [&](TDirView*) { ++loaded; };
    list->OnDirUpdated = [&](TDirView*) { ++updated; };
    list->SetPath(L"C:\\no such folder here");
    EXPECT_FALSE(list->DirOK());
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(updated, 0);
    list->SetPath(L"Q:");  // no such drive
    EXPECT_EQ(list->Count(), 0);
    EXPECT_TRUE(dialogs.boxes.empty()) << "no message";

    // A network path is no drive letter: the caller hears of it, the list stays usable.
    EXPECT_THROW(list->SetPath(L"\\\\server\\share"), ConvertError);
    EXPECT_FALSE(list->Loading());
    EXPECT_EQ(list->Count(), 0);
    TempDir dir;
    WriteBytes(dir / L"x.exe", "MZ");
    list->SetPath(dir.Path());
    EXPECT_GE(list->FindFileItem(L"x.exe"), 0);
}

// A drive whose medium is missing (an empty CD drive, a stick pulled out) is looked at
// only while the system's box asking for the disk is held back: by a load, a reload, a refresh.
TEST_F(Browser, ADriveWithoutItsMediumIsLookedAtWithoutTheSystemsBox) {
    TDriveInfo drives([](wchar_t letter) -> std::uint32_t {
        return letter == L'Q' ? DRIVE_CDROM : GetDriveTypeW((std::wstring(1, letter) + L":\\").c_str());
    });
    list->Drives = &drives;
    DriveProbes probes(L'Q');
    list->SetPath(L"Q:\\Setup");
    EXPECT_FALSE(list->DirOK());
    EXPECT_EQ(list->Count(), 0);
    list->Reload(true);
    list->Refresh();
    list->SetPath(L"Q:");
    EXPECT_FALSE(list->DirOK());
    EXPECT_FALSE(probes.All().empty()) << "the drive was looked at";
    EXPECT_EQ(probes.Unguarded(), "") << "looked at while the system would ask for the disk";
    EXPECT_TRUE(dialogs.boxes.empty()) << "no message";
}

TEST_F(Browser, BigFilesAndOldDatesAreListedShownAndSorted) {
    AllFiles();
    TempDir dir;
    SetSize(dir / L"huge.bin", 5'000'000'000LL);
    WriteBytes(dir / L"small.bin", "1234567");
    WriteBytes(dir / L"old.bin", "x");
    SetTime(dir / L"old.bin", LocalTime(1975, 6, 15, 10, 20, 30));
    SetTime(dir / L"small.bin", LocalTime(2001, 1, 2, 3, 4, 5));
    SetTime(dir / L"huge.bin", LocalTime(2020, 1, 2, 3, 4, 5));
    list->SetPath(dir.Path());
    ASSERT_EQ(list->Count(), 4);
    EXPECT_EQ(list->Item(Find(L"huge.bin"))->Size, 5'000'000'000LL);
    EXPECT_EQ(list->FilesSize(), 5'000'000'008LL);

    wchar_t separator[8]{};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
    const std::wstring s(1, separator[0]);
    EXPECT_EQ(list->ColumnText(Find(L"huge.bin"), 1), L"5" + s + L"000" + s + L"000" + s + L"000");
    EXPECT_EQ(list->ColumnText(Find(L"small.bin"), 1), L"7");
    EXPECT_EQ(list->ColumnText(Find(L".."), 1), L"") << "no size for folders";
    const auto oldText = list->ColumnText(Find(L"old.bin"), 3);
    EXPECT_NE(oldText.find(L"1975"), std::wstring::npos) << Narrow(oldText);
    EXPECT_NE(oldText.find(L":20:30"), std::wstring::npos) << Narrow(oldText);

    list->SetSortColumn(3);
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"old.bin", L"small.bin", L"huge.bin"}));
    list->SetSortColumn(1);
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"old.bin", L"small.bin", L"huge.bin"}));
    list->SetSortAscending(false);
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"huge.bin", L"small.bin", L"old.bin"}));
}

TEST_F(Browser, LongAndNonAsciiPaths) {
    AllFiles();
    TempDir dir;
    std::wstring deep = dir.Path();
    for (int i = 0; i < 6; ++i) {
        deep += L"\\" + std::wstring(45, static_cast<wchar_t>(L'a' + i)) + L"\u00e9\u4e2d";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    ASSERT_GT(deep.size(), 260u);
    const std::wstring file = deep + L"\\pr\u00f6gram.exe";
    const HANDLE h = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    list->SetPath(deep);
    EXPECT_TRUE(list->DirOK());
    ASSERT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"pr\u00f6gram.exe"}));
    list->SetSelected(1, true);
    form->ShellDir1DblClick();
    EXPECT_EQ(form->edSource.Text(), file) << "the whole long name reaches the source";
    form->btnUp1.Click();
    EXPECT_EQ(list->Path(), deep.substr(0, deep.rfind(L'\\')));
    EXPECT_EQ(list->Item(list->FocusedItem())->FileName, deep.substr(deep.rfind(L'\\') + 1));
}

TEST_F(Browser, ASetPathDuringALoadRestartsWithTheLatestPath) {
    AllFiles();
    TempDir big, small;
    for (int i = 0; i < 350; ++i) WriteBytes(big / (L"f" + std::to_wstring(i) + L".exe"), "");
    WriteBytes(small / L"only.exe", "");
    int loads = 0, loaded = 0;
    list->OnStartLoading = [&](TDirView*) { ++loads; };
    list->OnLoaded = [&](TDirView*) { ++loaded; };
    bool redirected = false;
    list->OnAddFile = [&](TDirView* v, TSearchRec&, bool&) {
        if (!redirected) {
            redirected = true;
            v->SetPath(small.Path());  // from inside the load
            EXPECT_TRUE(v->Loading());
        }
    };
    int updated = 0;
    list->OnDirUpdated = [&](TDirView*) { ++updated; };
    list->SetPath(big.Path());
    EXPECT_FALSE(list->Loading());
    EXPECT_EQ(list->Path(), small.Path());
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"only.exe"}));
    EXPECT_EQ(loads, 2) << "the running load stopped and one load of the latest path followed";
    EXPECT_EQ(loaded, 2) << "each load that ran ends with its event, the stopped one too";
    EXPECT_EQ(updated, 1) << "only the load that was not stopped listed a folder";

    // A request that arrives through the message loop while a load pumps: Up pressed meanwhile.
    list->OnAddFile = nullptr;
    list->SetPath(small.Path() + L"x");  // make the next SetPath a change
    int pumped = 0;
    list->OnAddFile = [&](TDirView* v, TSearchRec&, bool&) {
        if (++pumped == 1) PostMessageW(form->Handle(), WM_COMMAND, form->btnUp1.Id(),
                                        reinterpret_cast<LPARAM>(form->ToolBar1.Handle()));
        (void)v;
    };
    list->SetPath(big.Path());
    const std::wstring parent = big.Path().substr(0, big.Path().rfind(L'\\'));
    EXPECT_EQ(list->Path(), parent);
    EXPECT_GE(list->FindFileItem(big.Path().substr(parent.size() + 1)), 0);
}

// ---------------------------------------------------------------------------
// Selection, reload, refresh

TEST_F(Browser, ReloadKeepsSelectionAndFocusAndTheParentIsNeverSelected) {
    AllFiles();
    TempDir dir;
    for (const auto* n : {L"a.exe", L"b.exe", L"c.exe", L"d.exe"}) WriteBytes(dir / n, "MZ");
    list->SetPath(dir.Path());
    list->SetSelected(Find(L"b.exe"), true);
    list->SetSelected(Find(L"d.exe"), true);
    Focus(L"c.exe");
    list->SetSelected(0, true);
    EXPECT_FALSE(list->IsSelected(0)) << "the parent entry gives its selection back";
    WriteBytes(dir / L"a0.exe", "MZ");  // moves everything one down
    list->Reload(true);
    EXPECT_EQ(list->Count(), 6);
    std::vector<std::wstring> selected;
    for (int i : list->SelectedItems()) selected.push_back(list->Item(i)->FileName);
    EXPECT_EQ(selected, (std::vector<std::wstring>{L"b.exe", L"d.exe"}));
    EXPECT_EQ(list->Item(list->FocusedItem())->FileName, L"c.exe");
    EXPECT_EQ(list->FilesSelSize(), 4);

    // Refresh and validation drop what has gone and take in what came.
    DeleteFileW((dir / L"d.exe").c_str());
    list->ValidateSelectedFiles();
    EXPECT_EQ(list->FindFileItem(L"d.exe"), -1);
    EXPECT_TRUE(list->IsSelected(Find(L"b.exe")));
    DeleteFileW((dir / L"a.exe").c_str());
    WriteBytes(dir / L"e.exe", "MZ-bigger");
    WriteBytes(dir / L"b.exe", "MZ-grown");
    int grown = 0;
    list->OnFileSizeChanged = [&](TDirView*, int) { ++grown; };
    list->Refresh();
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"a0.exe", L"b.exe", L"c.exe", L"e.exe"}));
    EXPECT_EQ(grown, 1);
    EXPECT_EQ(list->Item(Find(L"b.exe"))->Size, 8);
    EXPECT_TRUE(list->IsSelected(Find(L"b.exe")));
}

// ---------------------------------------------------------------------------
// Display and sort

TEST_F(Browser, ColumnsHeaderArrowsAndColumnClicks) {
    AllFiles();
    TempDir dir;
    WriteBytes(dir / L"b.txt", "12");
    WriteBytes(dir / L"a.txt", "1");
    MakeDir(dir / L"sub");
    SetFileAttributesW((dir / L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    list->SetPath(dir.Path());
    form->btnViewStyle.SetDown(true);
    form->btnViewStyle.Click();
    ASSERT_EQ(list->ViewStyle(), TViewStyle::vsReport);

    const HWND header = ListView_GetHeader(list->Handle());
    ASSERT_EQ(Header_GetItemCount(header), 5);
    wchar_t caption[32];
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_FORMAT | HDI_BITMAP;
    item.pszText = caption;
    item.cchTextMax = 32;
    std::vector<std::wstring> captions;
    for (int i = 0; i < 5; ++i) {
        Header_GetItem(header, i, &item);
        captions.push_back(caption);
        EXPECT_EQ((item.fmt & HDF_BITMAP) != 0, i == 0) << "only the sort column has an arrow";
    }
    EXPECT_EQ(captions, (std::vector<std::wstring>{L"Name", L"Size", L"Type", L"Changed", L"Attr"}));
    Header_GetItem(header, 0, &item);
    const HBITMAP ascending = item.hbm;
    EXPECT_NE(ascending, nullptr);
    EXPECT_TRUE(item.fmt & HDF_BITMAP_ON_RIGHT) << "right of a left-aligned caption";

    EXPECT_EQ(list->ColumnText(Find(L"a.txt"), 4), L"ar");
    EXPECT_EQ(list->ColumnText(Find(L".."), 2), L"Up one level");

    // A real click on the Size header: the list sorts by size and the arrow moves.
    auto clickHeader = [&](int column) {
        RECT r;
        Header_GetItemRect(header, column, &r);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(header, WM_LBUTTONUP, 0, at);
        PumpMessages();
    };
    int clicks = 0;
    list->OnColumnClick = [&] { ++clicks; };
    clickHeader(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list->SortColumn(), 1);
    EXPECT_TRUE(list->SortAscending()) << "another column keeps the direction";
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"sub", L"a.txt", L"b.txt"}));
    Header_GetItem(header, 1, &item);
    EXPECT_TRUE(item.fmt & HDF_BITMAP);
    EXPECT_FALSE(item.fmt & HDF_BITMAP_ON_RIGHT) << "left of a right-aligned caption";
    clickHeader(1);
    EXPECT_FALSE(list->SortAscending()) << "the sort column flips the direction";
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"b.txt", L"a.txt", L"sub"}));
    Header_GetItem(header, 1, &item);
    EXPECT_NE(item.hbm, ascending) << "the other arrow";
    clickHeader(1);
    EXPECT_TRUE(list->SortAscending());

    list->SetSortColumn(2);  // by type: all "txt", then by name
    EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"..", L"sub", L"a.txt", L"b.txt"}));
}

// The type column: the system's name of the file's type, a folder's type, and "File" with
// the extension for a type the system names not. (Wine reads types from the machine's classes.)
TEST_F(Browser, TheTypeColumnShowsTheSystemsNameOfEachType) {
    const std::wstring classes = L"Software\\Classes\\";
    RegistryKey::Open(HKEY_LOCAL_MACHINE, classes + L".zandreltype", true)->WriteString(L"", L"ZandrelTypeFile");
    RegistryKey::Open(HKEY_LOCAL_MACHINE, classes + L"ZandrelTypeFile", true)->WriteString(L"", L"Zandrel test document");
    struct Unregister {
        std::wstring a, b;
        ~Unregister() {
            RegistryKey::DeleteKey(HKEY_LOCAL_MACHINE, a);
            RegistryKey::DeleteKey(HKEY_LOCAL_MACHINE, b);
        }
    } unregister{classes + L".zandreltype", classes + L"ZandrelTypeFile"};
    AllFiles();
    TempDir dir;
    WriteBytes(dir / L"a.zandreltype", "");
    WriteBytes(dir / L"b.zqx", "");
    MakeDir(dir / L"sub");
    list->SetPath(dir.Path());
    EXPECT_EQ(list->ColumnText(Find(L"a.zandreltype"), 2), L"Zandrel test document");
    SHFILEINFOW info{};
    SHGetFileInfoW(L"b.zqx", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
    EXPECT_EQ(list->ColumnText(Find(L"b.zqx"), 2), info.szTypeName[0] ? std::wstring(info.szTypeName) : L"File ZQX");
    EXPECT_EQ(list->ColumnText(Find(L"sub"), 2), Facts().folderType);
    EXPECT_EQ(list->ColumnText(Find(L".."), 2), L"Up one level");
}

TEST_F(Browser, TheParentEntryShowsItsArrowOverTheFolderIcon) {
    TempDir dir;
    list->SetPath(dir.Path());
    ASSERT_TRUE(list->HasParentDir());
    RedrawWindow(list->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    PumpMessages();
    RECT icon{LVIR_ICON, 0, 0, 0};
    ASSERT_TRUE(ListView_GetItemRect(list->Handle(), 0, &icon, LVIR_ICON));
    const HDC dc = GetDC(list->Handle());
    int green = 0;
    for (int y = icon.top - 2; y < icon.top + 14; ++y)
        for (int x = icon.left - 2; x < icon.left + 14; ++x)
            if (GetPixel(dc, x, y) == RGB(0, 176, 0)) ++green;
    ReleaseDC(list->Handle(), dc);
    EXPECT_GT(green, 10) << "the arrow's green";
}

// ---------------------------------------------------------------------------
// The pane's handlers

TEST_F(Browser, TheFilterListsOnlyItsExtensionWhateverTheCase) {
    TempDir dir;
    WriteBytes(dir / L"a.DLL", "");
    WriteBytes(dir / L"b.dll", "");
    WriteBytes(dir / L"c.exe", "");
    WriteBytes(dir / L"D.Exe", "");
    WriteBytes(dir / L"noext", "");
    WriteBytes(dir / L"e.exe.txt", "");
    MakeDir(dir / L"folder.txt");
    list->SetPath(dir.Path());
    EXPECT_EQ(Sorted(Names(*list)), Sorted({L"..", L"folder.txt", L"c.exe", L"D.Exe"}))
        << "entry 1 is in force from the start, before any click";
    EXPECT_EQ(list->Mask(), L"*.*") << "its mask only with a click";

    form->FilterComboBox1.SetItemIndex(0);
    form->FilterComboBox1Click();
    EXPECT_EQ(list->Mask(), L"*.dll");
    EXPECT_EQ(Sorted(Names(*list)), Sorted({L"..", L"folder.txt", L"a.DLL", L"b.dll"}));
    form->FilterComboBox1.SetItemIndex(2);
    form->FilterComboBox1Click();
    EXPECT_EQ(list->Mask(), L"*.*");
    EXPECT_EQ(list->Count(), 8);
    EXPECT_EQ(form->FilterComboBox1.Items(),
              (std::vector<std::wstring>{L"Dll files (*.dll)", L"Executable (*.exe)", L"All files (*.*)"}));
}

TEST_F(Browser, EnterAndDoubleClickTakeFilesAndOpenFolders) {
    TempDir dir;
    WriteBytes(dir / L"prog.exe", "MZ");
    WriteBytes(dir / L"other.exe", "MZ");
    MakeDir(dir / L"sub");
    WriteBytes(dir / L"sub" + L"\\inner.exe", "MZ");
    list->SetPath(dir.Path());

    // Enter on a file: into the source field, nothing run.
    Focus(L"prog.exe");
    list->SetSelected(Find(L"prog.exe"), true);
    Enter();
    EXPECT_EQ(form->edSource.Text(), dir / L"prog.exe");
    EXPECT_EQ(form->edTarget.Text(), dir / L"prog.exe") << "the target follows the source";
    EXPECT_TRUE(dialogs.opened.empty()) << "the pane never runs a file";
    EXPECT_EQ(list->Path(), dir.Path());

    // With several selected, the first in list order.
    list->SetSelected(Find(L"other.exe"), true);
    const int sub = Find(L"sub");
    RECT r{LVIR_LABEL, 0, 0, 0};
    ListView_GetItemRect(list->Handle(), Find(L"other.exe"), &r, LVIR_LABEL);
    SendMessageW(list->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2));
    PumpMessages();
    EXPECT_EQ(form->edSource.Text(), dir / L"other.exe");

    // Enter on a folder (nothing selected): it opens, the source stays.
    for (int i : list->SelectedItems()) list->SetSelected(i, false);
    list->SetFocusedItem(sub);
    Enter();
    EXPECT_EQ(list->Path(), dir / L"sub");
    EXPECT_EQ(form->edSource.Text(), dir / L"other.exe");
    // Enter on the parent entry goes back up, with the folder just left in focus.
    list->SetFocusedItem(0);
    Enter();
    EXPECT_EQ(list->Path(), dir.Path());
    EXPECT_EQ(list->FocusedItem(), Find(L"sub"));
}

TEST_F(Browser, VanishedFoldersAndShortcutsToFolders) {
    AllFiles();
    TempDir dir, target;
    MakeDir(dir / L"gone");
    WriteBytes(dir / L"keep.exe", "MZ");
    // A shortcut to a folder, made through the shell's link object.
    IShellLinkW* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link))));
    link->SetPath(target.Path().c_str());
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    ASSERT_TRUE(SUCCEEDED(file->Save((dir / L"to target.lnk").c_str(), TRUE)));
    file->Release();
    link->Release();

    list->SetPath(dir.Path());
    ASSERT_GE(Find(L"gone"), 0);
    RemoveDirectoryW((dir / L"gone").c_str());
    list->SetFocusedItem(Find(L"gone"));
    Enter();
    EXPECT_EQ(list->Path(), dir.Path()) << "nothing to open";
    EXPECT_EQ(Find(L"gone"), -1) << "the list refreshed itself";
    EXPECT_GE(Find(L"keep.exe"), 0);

    // The pane refuses every file, shortcuts included ...
    Focus(L"to target.lnk");
    list->SetSelected(Find(L"to target.lnk"), true);
    Enter();
    EXPECT_EQ(list->Path(), dir.Path());
    EXPECT_EQ(form->edSource.Text(), dir / L"to target.lnk") << "a shortcut is a file like any other here";
    // ... while a list whose owner allows it follows a shortcut to its folder.
    list->OnExecFile = nullptr;
    list->SetSelected(Find(L"to target.lnk"), true);
    list->ExecuteCurrentFile();
    EXPECT_EQ(list->Path(), target.Path());
    EXPECT_TRUE(dialogs.ran.empty());
    // ... and has the shell run a file, from the list's folder.
    list->SetPath(dir.Path());
    list->SetSelected(Find(L"keep.exe"), true);
    list->ExecuteCurrentFile();
    EXPECT_EQ(dialogs.ran, (std::vector<std::pair<std::wstring, std::wstring>>{{dir / L"keep.exe", dir.Path()}}));
}

TEST_F(Browser, LoadsAskedForWhileBlockedRunWhenAllowedAgain) {
    TempDir a, b;
    WriteBytes(b / L"b.exe", "MZ");
    list->SetPath(a.Path());
    list->SetLoadEnabled(false);  // as while a name is edited
    list->SetPath(b.Path());
    EXPECT_EQ(list->Path(), b.Path());
    EXPECT_EQ(list->FindFileItem(L"b.exe"), -1) << "not loaded yet";
    list->SetLoadEnabled(true);
    EXPECT_GE(list->FindFileItem(L"b.exe"), 0);
}

TEST_F(Browser, UpHomeAndTheCtrlShortcuts) {
    TempDir dir;
    MakeDir(dir / L"A");
    MakeDir(dir / L"A\\B");
    list->SetPath(dir / L"A\\B");
    form->btnUp1.Click();
    EXPECT_EQ(list->Path(), dir / L"A");
    EXPECT_EQ(GetFocus(), list->Handle()) << "Up leaves the focus in the list";
    KeyUp('U', {VK_CONTROL});
    EXPECT_EQ(list->Path(), dir.Path());
    KeyUp('U', {VK_CONTROL, VK_SHIFT});
    EXPECT_EQ(list->Path(), dir.Path()) << "Shift+Ctrl+U is not a shortcut";

    list->SetPath(dir / L"A\\B");
    ClickTool(form->btnHome);
    EXPECT_EQ(list->Path(), L"C:") << "by a real mouse click on the tool bar";
    form->btnHome.Click();
    EXPECT_EQ(list->Path(), L"C:");
    form->btnUp1.Click();
    EXPECT_EQ(list->Path(), L"C:") << "nothing above a root";
    list->SetPath(dir / L"A");
    KeyUp(VK_HOME, {VK_CONTROL});
    EXPECT_EQ(list->Path(), L"C:");

    // Ctrl+S flips the view and the button with it.
    ASSERT_EQ(list->ViewStyle(), TViewStyle::vsSmallIcon);
    KeyUp('S', {VK_CONTROL});
    EXPECT_EQ(list->ViewStyle(), TViewStyle::vsReport);
    EXPECT_TRUE(form->btnViewStyle.Down());
    ClickTool(form->btnViewStyle);
    EXPECT_EQ(list->ViewStyle(), TViewStyle::vsSmallIcon);
    EXPECT_FALSE(form->btnViewStyle.Down());
    // The same from the keyboard, through the message loop and the dialog navigation.
    SetForegroundWindow(form->Handle());
    list->SetFocus();
    INPUT keys[4]{};
    for (auto& k : keys) k.type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_CONTROL;
    keys[1].ki.wVk = 'S';
    keys[2].ki.wVk = 'S', keys[2].ki.dwFlags = KEYEVENTF_KEYUP;
    keys[3].ki.wVk = VK_CONTROL, keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(4, keys, sizeof(INPUT)), 4u);
    for (int i = 0; i < 20 && list->ViewStyle() != TViewStyle::vsReport; ++i) {
        Application::Instance().ProcessMessages();
        Sleep(20);
    }
    EXPECT_EQ(list->ViewStyle(), TViewStyle::vsReport);
    form->btnViewStyle.SetDown(false);
    form->btnViewStyle.Click();

    // Ctrl+Left reloads (a new file shows); Ctrl+R does nothing special.
    TempDir other;
    list->SetPath(other.Path());
    WriteBytes(other / L"new.exe", "MZ");
    KeyUp('R', {VK_CONTROL});
    EXPECT_EQ(list->FindFileItem(L"new.exe"), -1);
    KeyUp(VK_LEFT, {VK_CONTROL});
    EXPECT_GE(list->FindFileItem(L"new.exe"), 0);
}

TEST_F(Browser, StartUpStateDriveSelectorAndTheCurrentFolderLine) {
    EXPECT_EQ(list->Count(), 0) << "no folder before the user picks one";
    EXPECT_EQ(list->Path(), L"");
    form->btnUp1.Click();
    form->btnHome.Click();
    EXPECT_EQ(list->Path(), L"");
    EXPECT_EQ(form->lblCurDir.Text(), L"");
    EXPECT_EQ(form->FilterComboBox1.ItemIndex(), 1);

    // Enter released in the drive selector lists the drive's root.
    ASSERT_EQ(form->cbShellDrive1.Drive(), L'C');
    SendMessageW(form->cbShellDrive1.Handle(), WM_KEYUP, 'A', 0);
    EXPECT_EQ(list->Path(), L"");
    SendMessageW(form->cbShellDrive1.Handle(), WM_KEYUP, VK_RETURN, 0);
    EXPECT_EQ(list->Path(), L"C:");

    // The line follows the list when an item changes.
    list->SetFocusedItem(0);
    EXPECT_EQ(form->lblCurDir.Text(), L"C:");
    EXPECT_TRUE(IsWindowVisible(form->imgCurDir.Handle()));
    TempDir dir;
    MakeDir(dir / L"x");
    list->SetPath(dir.Path());
    list->SetFocusedItem(1);
    EXPECT_EQ(form->lblCurDir.Text(), dir.Path());
    form->SetCurDirLabel(L"");
    EXPECT_FALSE(IsWindowVisible(form->imgCurDir.Handle())) << "no folder, no picture";
}

}  // namespace
}  // namespace zandrel::test
