// The main window's browser pane: a dropped file, the drive selector, the
// filter, the file list's events, the tool bar and the favourite folders.
#include "app/Main.h"

#include "app/descrambler.h"
#include "app/globals.h"
#include "app/settings.h"
#include "browser/favorites.h"
#include "framework/files.h"
#include "framework/registry.h"
#include "zandrel_texts.h"

namespace zandrel {

// Filled by the file browser and the favourites.
void TfrmMain::WMDropFiles(HDROP drop) {
    struct Release {
        HDROP drop;
        ~Release() { DragFinish(drop); }
    } release{drop};
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> names;
    for (UINT i = 0; i < count; ++i) {
        // The whole name, however long: a cut name would point at another file.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), length + 1));
        names.push_back(FullPathOf(name));
    }
    // One file goes to the job panel; several, or a folder, make a batch.
    if (names.size() == 1 && !IsExistingFolder(names[0]))
        edSource.SetText(names[0]);
    else if (!names.empty())
        StartBatch(names, BatchKind::FormJob);
}

// ---------------------------------------------------------------------------
// The browser pane

void TfrmMain::cbShellDrive1Change() {
    const std::wstring path = std::wstring(1, cbShellDrive1.Drive()) + L":";
    // A drive without a medium is passed over silently, without the system's box.
    QuietDriveProbes quiet;
    if (IsExistingFolder(path)) ShellDir1.SetPath(path);
}

void TfrmMain::cbShellDrive1KeyUp(WORD key) {
    if (key == VK_RETURN) cbShellDrive1Change();
}

void TfrmMain::FilterComboBox1Click() {
    const int index = FilterComboBox1.ItemIndex();
    const std::span<const std::uint8_t> mask = index == 0   ? std::span<const std::uint8_t>(texts::MaskDll)
                                               : index == 1 ? std::span<const std::uint8_t>(texts::MaskExe)
                                                            : std::span<const std::uint8_t>(texts::MaskAll);
    ShellDir1.SetMask(Widen8(BytsToEncStr2(mask)));
    btnRefresh1.Click();
}

void TfrmMain::ShellDir1AddFile(TDirView*, TSearchRec& searchRec, bool& addFile) {
    if (searchRec.Attr & FILE_ATTRIBUTE_DIRECTORY) return;  // folders are always listed
    if (!FilterTakes(searchRec.Name)) addFile = false;
}

namespace {

// Whether the filter entry at `index` (0: libraries, 1: programs, else: all files) takes the name.
bool FilterEntryTakes(int index, const std::wstring& name) {
    if (index != 0 && index != 1) return true;
    // The stored extensions are decoded once: a big folder asks for every file.
    static const std::wstring extensions[2] = {Widen8(BytsToEncStr2(texts::ExtDll)), Widen8(BytsToEncStr2(texts::ExtExe))};
    const auto dot = name.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    for (auto& c : extension)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return extension == extensions[index];
}

}  // namespace

bool TfrmMain::FilterTakes(const std::wstring& name) const { return FilterEntryTakes(FilterComboBox1.ItemIndex(), name); }

std::function<bool(const std::wstring& name)> TfrmMain::FilterNow() const {
    FilterEntryTakes(0, L"");  // the extensions are decoded here, not first on another thread
    return [index = FilterComboBox1.ItemIndex()](const std::wstring& name) { return FilterEntryTakes(index, name); };
}

void TfrmMain::ShellDir1ExecFile(TDirView*, int item, bool& allowExec) {
    // The pane never runs a file; folders still open.
    QuietDriveProbes quiet;
    if (IsExistingFile(ShellDir1.ItemFullFileName(item))) allowExec = false;
}

void TfrmMain::ShellDir1DblClick() {
    const int item = ShellDir1.Selected();
    if (item < 0) return;
    const auto name = ShellDir1.ItemFullFileName(item);
    bool isFile = false;
    {
        QuietDriveProbes quiet;  // the list's drive may have lost its medium since it was listed
        isFile = IsExistingFile(name);
    }
    if (isFile) edSource.SetText(name);
}

void TfrmMain::ShellDir1Changing(TDirView*, int, TItemChange, bool&) { SetCurDirLabel(ShellDir1.Path()); }

void TfrmMain::ShellDir1KeyUp(WORD key, bool shift, bool ctrl, bool alt) {
    if (ctrl && key == VK_RETURN && !(shift && alt)) {
        // The selection as a batch: the form's job, Shift for a test, Alt for a list.
        std::vector<std::wstring> selected;
        for (const int item : ShellDir1.SelectedItems())
            if (!ShellDir1.Item(item)->IsParentDir) selected.push_back(ShellDir1.ItemFullFileName(item));
        if (!selected.empty())
            StartBatch(selected, shift ? BatchKind::Test : alt ? BatchKind::List : BatchKind::FormJob);
        return;
    }
    if (!ctrl || shift || alt) return;
    switch (key) {
        case 'U':
            btnUp1.Click();
            break;
        case VK_LEFT:
            btnRefresh1.Click();
            break;
        case VK_HOME:
            btnHome.Click();
            break;
        case 'S':
            btnViewStyle.SetDown(!btnViewStyle.Down());
            btnViewStyle.Click();
            break;
        case 'F':
            btnFavoriteDir.Click();
            break;
        case VK_RIGHT: {
            // The favourites menu at the button's bottom-right corner.
            RECT r;
            GetClientRect(btnFavoriteDir.Handle(), &r);
            POINT at{r.right, r.bottom};
            ClientToScreen(btnFavoriteDir.Handle(), &at);
            TrackPopupMenu(pmFavoriteDir, TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, 0, Handle(), nullptr);
            break;
        }
        default:
            break;
    }
}

void TfrmMain::ShellDir1DDFileOperationExecuted() { ShellDir1.Reload(true); }

void TfrmMain::btnUp1Click() {
    const auto& path = ShellDir1.Path();
    const auto slash = path.rfind(L'\\');
    if (!path.empty() && slash != std::wstring::npos) ShellDir1.SetPath(path.substr(0, slash));
    ShellDir1.SetFocus();
}

void TfrmMain::btnRefresh1Click() { ShellDir1.Reload(true); }

void TfrmMain::btnHomeClick() {
    const auto& path = ShellDir1.Path();
    const auto slash = path.find(L'\\');
    if (path.empty() || slash == std::wstring::npos) return;
    ShellDir1.SetPath(path.substr(0, slash));
    ShellDir1.SetFocus();
}

void TfrmMain::btnViewStyleClick() {
    ShellDir1.SetViewStyle(btnViewStyle.Down() ? TViewStyle::vsReport : TViewStyle::vsSmallIcon);
}

void TfrmMain::SetCurDirLabel(const std::wstring& path) {
    lblCurDir.SetText(path);
    ShowWindow(imgCurDir.Handle(), path.empty() ? SW_HIDE : SW_SHOW);
}

void TfrmMain::btnFavoriteDirClick() {
    auto captions = FavoriteCaptions();
    if (!AddFavorite(captions, ShellDir1.Path(), MaxFavorites)) return;
    SetFavoriteCaptions(captions);
    SaveFavorites();
}

void TfrmMain::FavoriteDirItemClick(int) {
    // The chosen item is the checked one (the menu checks it just before this runs).
    std::wstring folder;
    int chosen = -1;
    const auto captions = FavoriteCaptions();
    for (int i = 0; i < static_cast<int>(captions.size()); ++i) {
        if (GetMenuState(pmFavoriteDir, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED) {
            folder = captions[static_cast<std::size_t>(i)];
            CheckMenuItem(pmFavoriteDir, static_cast<UINT>(i), MF_BYPOSITION | MF_UNCHECKED);
            chosen = i;
            break;
        }
    }
    if (folder.empty()) return ShowError(Widen8(BytsToEncStr2(texts::MsgNoFavorite)));
    bool exists = false;
    {
        QuietDriveProbes quiet;  // a favourite on a stick that is not plugged in
        exists = IsExistingFolder(folder);
    }
    if (exists) {
        if (folder.back() != L'\\') folder += L'\\';
        ShellDir1.SetPath(folder);
        return;
    }
    ShowError(L"Directory does not exist.");
    auto remaining = captions;
    RemoveFavorite(remaining, static_cast<std::size_t>(chosen));
    SetFavoriteCaptions(remaining);
    SaveFavorites();
}

// ---------------------------------------------------------------------------
// Favourite folders

void TfrmMain::LoadFavorites() {
    if (!pmFavoriteDir) pmFavoriteDir = CreatePopupMenu();
    btnFavoriteDir.DropDown = pmFavoriteDir;
    for (int i = 0; i < MaxFavorites; ++i) {
        const auto folder = ReadIniFromReg(SettingsKey + FavoritesSubKey, std::to_wstring(i));
        if (folder.empty()) break;  // a gap ends the list
        FavoriteItems[static_cast<std::size_t>(i)] = folder;
        AppendMenuW(pmFavoriteDir, MF_STRING, kFavoriteItemId + static_cast<UINT>(i), folder.c_str());
    }
}

// The menu is the favourites' data: its captions, top first.
std::vector<std::wstring> TfrmMain::FavoriteCaptions() const {
    std::vector<std::wstring> captions;
    const int count = GetMenuItemCount(pmFavoriteDir);
    for (int i = 0; i < count; ++i) {
        const int length = GetMenuStringW(pmFavoriteDir, static_cast<UINT>(i), nullptr, 0, MF_BYPOSITION);
        std::wstring caption(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
        caption.resize(static_cast<std::size_t>(
            GetMenuStringW(pmFavoriteDir, static_cast<UINT>(i), caption.data(), length + 1, MF_BYPOSITION)));
        captions.push_back(caption);
    }
    return captions;
}

void TfrmMain::SetFavoriteCaptions(const std::vector<std::wstring>& captions) {
    for (std::size_t i = 0; i < captions.size() && i < FavoriteItems.size(); ++i) {
        const UINT id = kFavoriteItemId + static_cast<UINT>(i);
        if (static_cast<int>(i) < GetMenuItemCount(pmFavoriteDir))
            ModifyMenuW(pmFavoriteDir, static_cast<UINT>(i), MF_BYPOSITION | MF_STRING, id, captions[i].c_str());
        else
            AppendMenuW(pmFavoriteDir, MF_STRING, id, captions[i].c_str());
        FavoriteItems[i] = captions[i];
    }
}

void TfrmMain::SaveFavorites() {
    const auto key = SettingsKey + FavoritesSubKey;
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, key);
    const auto stored = StoredFavorites(FavoriteCaptions());
    for (std::size_t i = 0; i < stored.size(); ++i) WriteIniToReg(key, std::to_wstring(i), stored[i]);
}

}  // namespace zandrel
