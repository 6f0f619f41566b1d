// The file list: loading a folder, reloading, refreshing and validating it.
#include "browser/DirView.h"

#include <unordered_map>
#include <unordered_set>

#include "browser/FileSearch.h"
#include "browser/ShellFacts.h"
#include "framework/application.h"
#include "framework/files.h"

namespace zandrel {
namespace {

constexpr int kPumpEvery = 100;
constexpr int kValidateMax = 50;

}  // namespace

void TDirView::SetPath(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    if (path == path_) return;
    lastPath_ = path_;
    path_ = path;
    Load(path_);
}

bool TDirView::PassesFilters(const WIN32_FIND_DATAW& d) const {
    DWORD must = 0, mustNot = 0;
    auto add = [&](TSelAttr sel, DWORD bit) {
        if (sel == TSelAttr::SelYes) must |= bit;
        if (sel == TSelAttr::SelNo) mustNot |= bit;
    };
    add(SelArchive, FILE_ATTRIBUTE_ARCHIVE);
    add(SelHidden, FILE_ATTRIBUTE_HIDDEN);
    add(SelReadOnly, FILE_ATTRIBUTE_READONLY);
    add(SelSysFile, FILE_ATTRIBUTE_SYSTEM);
    if ((d.dwFileAttributes & must) != must || (d.dwFileAttributes & mustNot)) return false;
    const std::int64_t size = SizeOf(d);
    if (size < SelFileSizeFrom || size > SelFileSizeTo) return false;
    // The full date range lists every file, also those before 1980 or after 2099,
    // which have no packed date-time form.
    const bool fullRange = SelFileDateFrom <= 33 && SelFileTimeFrom == 0 && SelFileDateTo >= 61343 &&
                           SelFileTimeTo >= 49152;
    if (!fullRange) {
        const std::uint32_t packed = PackedTime(d.ftLastWriteTime);
        const std::uint32_t from = (static_cast<std::uint32_t>(SelFileDateFrom) << 16) | SelFileTimeFrom;
        const std::uint32_t to = (static_cast<std::uint32_t>(SelFileDateTo) << 16) | SelFileTimeTo;
        if (packed < from || packed > to) return false;
    }
    return true;
}

bool TDirView::AskAddFile(const WIN32_FIND_DATAW& d) {
    if (!OnAddFile) return true;
    TSearchRec rec;
    rec.Time = PackedTime(d.ftLastWriteTime);
    rec.Size = SizeOf(d);
    rec.Attr = d.dwFileAttributes;
    rec.Name = d.cFileName;
    rec.FindData = d;
    bool add = true;
    OnAddFile(this, rec, add);
    return add;
}

void TDirView::AddEntry(const WIN32_FIND_DATAW& d) {
    auto rec = std::make_shared<TFileRec>();
    rec->FileName = d.cFileName;
    rec->FileExt = Extension3(rec->FileName);
    rec->DisplayName = MakeDisplayName(rec->FileName);
    rec->Attr = d.dwFileAttributes;
    rec->IsDirectory = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    rec->IsRecycleBin = rec->IsDirectory && path_.size() == 2 && (rec->Attr & FILE_ATTRIBUTE_SYSTEM) &&
                        Upper(rec->FileName) == L"RECYCLED";
    rec->Size = rec->IsDirectory ? -1 : SizeOf(d);
    if (rec->Size > 0) filesSize_ += rec->Size;
    rec->FileTime = TimeCount(d.ftLastWriteTime);
    if (rec->FileExt == L"LNK") rec->OverlayIndex = 2;
    items_.push_back(std::move(rec));
}

void TDirView::AddParentEntry(const std::wstring& path) {
    hasParentDir_ = true;
    auto rec = std::make_shared<TFileRec>();
    WIN32_FILE_ATTRIBUTE_DATA own{};
    if (GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &own)) {
        rec->Attr = own.dwFileAttributes;
        rec->FileTime = TimeCount(own.ftLastWriteTime);
    }
    rec->FileName = L"..";
    rec->DisplayName = L"..";
    rec->IsDirectory = true;
    rec->IsParentDir = true;
    rec->Size = -1;
    rec->Empty = false;
    rec->IconEmpty = false;
    rec->TypeName = L"Up one level";
    rec->ImageIndex = Facts().comctl470 ? Facts().folderIcon : Facts().openFolderIcon;
    items_.push_back(std::move(rec));
}

bool TDirView::PumpMessages() {
    const HWND self = hwnd_;
    Application::Instance().ProcessMessages();
    // The window may have gone (the program is closing): stop without another load.
    return self && IsWindow(self);
}

bool TDirView::IsListableFolder(const std::wstring& p) {
    if (p.empty()) return false;
    auto& drives = DriveTable();
    const auto status = drives.ReadDriveStatus(p[0], TDriveInfo::dsReady);
    pathDriveType_ = drives.Get(p[0]).DriveType;
    if (!status.ready) return false;
    if ((p.size() == 2 || p.size() == 3) && p[1] == L':') return true;
    const DWORD attributes = GetFileAttributesW(ApiPath(p).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool TDirView::AddFolderEntries(const std::wstring& p) {
    const auto masks = SplitMasks(mask_);
    // A mask that takes every name finds the folders too: a second search of a
    // big folder would cost as much again. They are added after the files, as before.
    const bool foldersInFileSearch = ShowDirectories && masks.size() == 1 && (masks[0] == L"*.*" || masks[0] == L"*");
    std::vector<WIN32_FIND_DATAW> foldersFound;
    std::unordered_set<std::wstring> listed;  // with several masks, each file once
    int added = 0;
    // False once the window has gone (the program is closing) while messages were pumped.
    auto add = [&](const WIN32_FIND_DATAW& d) {
        AddEntry(d);
        return ++added % kPumpEvery != 0 || PumpMessages();
    };
    for (const auto& mask : masks)
        for (Search s(JoinPath(p, mask)); s.Valid() && !abortLoading_; s.Next()) {
            const auto& d = s.Data();
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (foldersInFileSearch && !IsDots(d.cFileName)) foldersFound.push_back(d);
                continue;
            }
            if (!PassesFilters(d) || !AskAddFile(d)) continue;
            if (masks.size() > 1 && !listed.insert(d.cFileName).second) continue;
            if (!add(d)) return false;
        }
    if (abortLoading_) return true;
    if (p.size() > 2) AddParentEntry(p);
    if (foldersInFileSearch) {
        for (const auto& d : foldersFound) {
            if (abortLoading_) break;
            if (AskAddFile(d) && !add(d)) return false;
        }
    } else if (ShowDirectories) {
        for (Search s(JoinPath(p, L"*.*")); s.Valid() && !abortLoading_; s.Next()) {
            const auto& d = s.Data();
            if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(d.cFileName)) continue;
            if (AskAddFile(d) && !add(d)) return false;
        }
    }
    return true;
}

void TDirView::Load(const std::wstring& p) {
    if (!loadEnabled_ || loading_) {
        loadPending_ = true;
        abortLoading_ = loading_;  // only a running load can be aborted
        return;
    }
    loading_ = true;
    abortLoading_ = false;
    path_ = p;
    hasParentDir_ = false;
    if (OnStartLoading) OnStartLoading(this);

    BusyCursor busy;
    // Whatever happens below, the list ends usable: flags cleared, control in step, cursor back.
    struct Finish {
        TDirView& v;
        bool done = false;
        ~Finish() {
            if (done) return;
            v.loading_ = false;
            v.abortLoading_ = false;
            v.loadPending_ = false;
            v.answerDisplay_ = true;
            v.SyncCount();
        }
    } finish{*this};

    ClearSelection();
    DeleteAllItems();
    listedPath_ = p;
    answerDisplay_ = false;
    // The medium may have gone since the drive was last listed: no look at it asks for it.
    QuietDriveProbes quiet;
    dirOK_ = IsListableFolder(p);
    // A drive's recycle folder itself (not C:\RecycledParts, nor anything below it) is
    // listed like any other folder, but its items go by their bare names.
    isRecycleBinView_ = dirOK_ && p.size() == 11 && Upper(p.substr(1, 10)) == L":\\RECYCLED";
    const bool windowGone = dirOK_ && !AddFolderEntries(p);
    loading_ = false;
    finish.done = true;
    EndLoad(windowGone);
}

void TDirView::EndLoad(bool windowGone) {
    if (windowGone) {
        abortLoading_ = loadPending_ = false;
        answerDisplay_ = true;
        return;
    }
    if (abortLoading_) {
        abortLoading_ = false;
        answerDisplay_ = true;
        items_.clear();
        Reload(false);
        if (OnLoaded) OnLoaded(this);  // this load ran too, and has ended
        return;
    }
    SyncCount();
    if (dirOK_) SortItems();
    abortLoading_ = loadPending_ = false;
    if (lastPath_.size() > path_.size() && lastPath_.compare(0, path_.size(), path_) == 0 && Count() > 0) {
        // Going up: the folder just left gets the focus.
        const int left = FindFileItem(lastPath_.substr(lastPath_.rfind(L'\\') + 1));
        if (left >= 0) SetFocusedItem(left);
    }
    if (const int focused = FocusedItem(); focused >= 0) ListView_EnsureVisible(hwnd_, focused, FALSE);
    answerDisplay_ = true;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
    ApplyPendingView();
    if (dirOK_ && OnDirUpdated) OnDirUpdated(this);
    if (OnLoaded) OnLoaded(this);
}

void TDirView::Reload(bool cacheIcons) {
    if (path_.empty()) return;
    if (!loadEnabled_) {
        loadPending_ = true;
        return;
    }
    if (loading_) {
        Load(path_);  // marks the running load to start again
        return;
    }
    std::unordered_set<std::wstring> selected;
    std::unordered_map<std::wstring, int> icons;
    for (int i : SelectedItems()) selected.insert(Upper(items_[static_cast<std::size_t>(i)]->FileName));
    if (cacheIcons)
        for (const auto& rec : items_)
            if (!rec->IconEmpty && !rec->FileExt.empty() &&
                std::wstring(kOwnIconExts).find(rec->FileExt) != std::wstring::npos)
                icons[rec->FileName] = rec->ImageIndex;
    const TFileRec* focusedRec = Item(FocusedItem());
    const std::wstring focused = focusedRec ? focusedRec->FileName : std::wstring();
    const bool hadFocus = focusedRec != nullptr;

    Load(path_);
    if (loading_) return;

    int focus = -1;
    for (int i = 0; i < Count(); ++i) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (hadFocus && rec.FileName == focused) {
            SetFocusedItem(i);
            focus = i;
        }
        if (!selected.empty() && selected.count(Upper(rec.FileName))) SetSelected(i, true);
        if (cacheIcons && rec.IconEmpty)
            if (const auto icon = icons.find(rec.FileName); icon != icons.end()) {
                rec.ImageIndex = icon->second;
                rec.IconEmpty = false;
            }
    }
    if (focus < 0) focus = FocusedItem();
    if (focus < 0 && (focus = Selected()) >= 0) SetFocusedItem(focus);
    if (focus >= 0) ListView_EnsureVisible(hwnd_, focus, FALSE);
}

void TDirView::ReloadKeepingView() {
    const int top = ListView_GetTopIndex(hwnd_);
    const TFileRec* topRec = Item(top);
    const std::wstring topName = topRec ? topRec->FileName : std::wstring();
    Reload(true);
    if (loading_ || topName.empty()) return;
    for (int i = 0; i < Count(); ++i) {
        if (items_[static_cast<std::size_t>(i)]->FileName != topName) continue;
        // Past the end first, then back: the item comes to rest at the top (or the left edge).
        ListView_EnsureVisible(hwnd_, Count() - 1, FALSE);
        ListView_EnsureVisible(hwnd_, i, FALSE);
        return;
    }
}

void TDirView::SetLoadEnabled(bool enabled) {
    loadEnabled_ = enabled;
    if (enabled && loadPending_) {
        loadPending_ = false;
        // A folder asked for meanwhile is loaded in full: a refresh would mix it
        // with the items of the folder still shown.
        if (listedPath_ != path_)
            Load(path_);
        else if (Count() <= 100)
            Reload(true);
        else
            Refresh();
    }
}

bool TDirView::UpdateEntry(std::size_t index, const WIN32_FIND_DATAW& d) {
    TFileRec& rec = *items_[index];
    if (rec.IsParentDir) return false;
    const bool isDir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::int64_t size = isDir ? -1 : SizeOf(d);
    const std::int64_t time = TimeCount(d.ftLastWriteTime);
    if (size == rec.Size && d.dwFileAttributes == rec.Attr && time == rec.FileTime) return false;
    const bool sizeChanged = size != rec.Size;
    if (rec.Size > 0) filesSize_ -= rec.Size;
    if (size > 0) filesSize_ += size;
    rec.Size = size, rec.Attr = d.dwFileAttributes, rec.FileTime = time;
    if (sizeChanged && OnFileSizeChanged) OnFileSizeChanged(this, static_cast<int>(index));
    return true;
}

void TDirView::Refresh() {
    if (loading_) return;
    if (isRecycleBinView_) return Reload(true);
    QuietDriveProbes quiet;
    const DWORD attributes = GetFileAttributesW(ApiPath(path_).c_str());
    const bool root = (path_.size() == 2 && path_[1] == L':');
    if (!root && (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        ClearSelection();
        DeleteAllItems();
        dirOK_ = false;
        return;
    }
    // Remember selection and focus by record while items move.
    for (int i : SelectedItems()) items_[static_cast<std::size_t>(i)]->marked_ = true;
    const TFileRec* focusedRec = Item(FocusedItem());

    std::unordered_map<std::wstring, std::size_t> known;
    for (std::size_t i = 0; i < items_.size(); ++i) known[items_[i]->FileName] = i;
    std::vector<bool> present(items_.size(), false);
    std::vector<WIN32_FIND_DATAW> added;
    bool changed = false;
    auto look = [&](const WIN32_FIND_DATAW& d) {
        const auto it = known.find(d.cFileName);
        if (it == known.end()) {
            if (AskAddFile(d)) added.push_back(d), known[d.cFileName] = SIZE_MAX;
            return;
        }
        if (it->second == SIZE_MAX) return;
        present[it->second] = true;
        if (UpdateEntry(it->second, d)) changed = true;
    };
    for (const auto& mask : SplitMasks(mask_))
        for (Search s(JoinPath(path_, mask)); s.Valid(); s.Next()) {
            const auto& d = s.Data();
            if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !PassesFilters(d)) continue;
            look(d);
        }
    if (ShowDirectories)
        for (Search s(JoinPath(path_, L"*.*")); s.Valid(); s.Next()) {
            const auto& d = s.Data();
            if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            if (IsDots(d.cFileName)) {
                if (const auto it = known.find(d.cFileName); it != known.end() && it->second != SIZE_MAX)
                    present[it->second] = true;
                continue;
            }
            look(d);
        }
    for (std::size_t i = items_.size(); i-- > 0;)
        if (!present[i]) {
            changed = true;
            if (items_[i]->Size > 0) filesSize_ -= items_[i]->Size;
            if (items_[i].get() == focusedRec) focusedRec = nullptr;
            items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    for (const auto& d : added) {
        AddEntry(d);
        changed = true;
    }
    ClearSelection();
    SyncCount();
    if (changed) SortItems();
    for (int i = 0; i < Count(); ++i) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (rec.marked_) SetSelected(i, true), rec.marked_ = false;
        if (&rec == focusedRec) SetFocusedItem(i);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
    dirOK_ = true;
    if (changed && OnDirUpdated) OnDirUpdated(this);
}

void TDirView::ValidateSelectedFiles() {
    const auto selected = SelectedItems();
    if (selected.size() > kValidateMax) return Refresh();
    const int before = Count();
    const TFileRec* focusedRec = Item(FocusedItem());
    std::vector<const TFileRec*> keepSelected;
    QuietDriveProbes quiet;
    for (int i : selected) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (GetFileAttributesW(ApiPath(ItemFullFileName(i)).c_str()) == INVALID_FILE_ATTRIBUTES)
            rec.marked_ = true;  // gone
        else
            keepSelected.push_back(&rec);
    }
    if (keepSelected.size() == selected.size()) return;
    ClearSelection();
    std::erase_if(items_, [&](const std::shared_ptr<TFileRec>& rec) {
        if (!rec->marked_) return false;
        if (rec->Size > 0) filesSize_ -= rec->Size;
        if (rec.get() == focusedRec) focusedRec = nullptr;
        return true;
    });
    SyncCount();
    for (int i = 0; i < Count(); ++i) {
        const TFileRec* rec = items_[static_cast<std::size_t>(i)].get();
        if (std::find(keepSelected.begin(), keepSelected.end(), rec) != keepSelected.end()) SetSelected(i, true);
        if (rec == focusedRec) SetFocusedItem(i);
    }
    if (Count() != before && OnDirUpdated) OnDirUpdated(this);
}

}  // namespace zandrel
