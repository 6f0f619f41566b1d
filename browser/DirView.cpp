#include "browser/DirView.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <unordered_map>
#include <unordered_set>

#include "browser/DragDrop.h"
#include "browser/drop_logic.h"
#include "framework/application.h"
#include "framework/gui_call.h"
#include "framework/error.h"
#include "framework/files.h"

namespace zandrel {
namespace {

constexpr const wchar_t* kOwnIconExts = L"EXE,LNK,ICO,ANI,CUR,PIF,JOB,CPL";
constexpr int kPumpEvery = 100;
constexpr int kValidateMax = 50;
constexpr const wchar_t* kForbidden = L"\\/:*?\"<>|";
const UINT kReEdit = RegisterWindowMessageW(L"ZandrelDirViewReEdit");

struct RenameTexts {
    const wchar_t *invalid, *cannot, *exists;
};
RenameTexts RenameMessages(int language) {
    if (language == 7)
        return {L"Dateiname enthält ungültige Zeichen:", L"Datei oder Verzeichnis kann nicht umbenannt werden: ",
                L"Datei oder Verzeichnis ist bereits vorhanden: "};
    if (language == 12)
        return {L"Le nom de fichier contient des caractères invalides:", L"Ne peux renommer le fichier: ",
                L"File allready exists: "};
    return {L"Filename contains invalid characters:", L"Can't rename file or directory: ", L"File allready exists: "};
}

std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}
std::wstring Lower(std::wstring s) {
    if (!s.empty()) CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

bool OwnIcon(const std::wstring& ext) { return ext.size() == 3 && std::wstring(kOwnIconExts).find(ext) != std::wstring::npos; }

std::wstring Extension3(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return {};
    return Upper(name.substr(dot + 1, 3));
}

std::int64_t TimeCount(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}
FILETIME FromCount(std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    return {static_cast<DWORD>(u), static_cast<DWORD>(u >> 32)};
}
std::int64_t SizeOf(const WIN32_FIND_DATAW& d) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow);
}
bool IsDots(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

// The packed local date and time of a file time; 0 when it has no packed form.
std::uint32_t PackedTime(const FILETIME& utc) {
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
    return (static_cast<std::uint32_t>(date) << 16) | time;
}

// A file search that closes itself.
class Search {
public:
    explicit Search(const std::wstring& pattern) {
        handle_ = FindFirstFileExW(ApiPath(pattern).c_str(), FindExInfoBasic, &data_, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
        valid_ = handle_ != INVALID_HANDLE_VALUE;
    }
    ~Search() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    bool Valid() const { return valid_; }
    const WIN32_FIND_DATAW& Data() const { return data_; }
    bool Next() { return valid_ = FindNextFileW(handle_, &data_) != FALSE; }

private:
    HANDLE handle_;
    WIN32_FIND_DATAW data_{};
    bool valid_;
};

// What the shell says once about folders, unknown files and programs; shared by all lists.
struct ShellFacts {
    std::wstring folderType;
    int folderIcon = 0, openFolderIcon = 0, fileIcon = 0, programIcon = 0;
    bool comctl470 = true;
    std::wstring windowsDir, tempDir;
    HIMAGELIST smallImages = nullptr, largeImages = nullptr;
};

// The shell's small and large system image lists, shared by every list; asked for
// apart from the other facts so that making the list costs one shell call.
std::pair<HIMAGELIST, HIMAGELIST> SystemImageLists() {
    static const auto lists = [] {
        SHFILEINFOW info{};
        const auto small = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
            L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
        const auto large = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoW(L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES));
        return std::pair{small, large};
    }();
    return lists;
}

const ShellFacts& Facts() {
    static const ShellFacts facts = [] {
        ShellFacts f;
        wchar_t buffer[MAX_PATH + 1];
        const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
        f.windowsDir = std::wstring(buffer, n);
        if (!f.windowsDir.empty() && f.windowsDir.back() != L'\\') f.windowsDir += L'\\';
        const DWORD t = GetTempPathW(MAX_PATH, buffer);
        f.tempDir = std::wstring(buffer, t);
        if (!f.tempDir.empty() && f.tempDir.back() != L'\\') f.tempDir += L'\\';

        SHFILEINFOW info{};
        std::tie(f.smallImages, f.largeImages) = SystemImageLists();
        const std::wstring windows = f.windowsDir.substr(0, f.windowsDir.size() - 1);
        if (SHGetFileInfoW(windows.c_str(), FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES)) {
            f.folderType = info.szTypeName;
            f.folderIcon = info.iIcon;
        }
        if (SHGetFileInfoW(windows.c_str(), FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_OPENICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            f.openFolderIcon = info.iIcon;
        if (SHGetFileInfoW(L"$#)(.#$)", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            f.fileIcon = info.iIcon;
        if (SHGetFileInfoW(L".COM", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            f.programIcon = info.iIcon;
        // Common controls 4.70 or newer draw the parent entry's arrow.
        if (const HMODULE comctl = GetModuleHandleW(L"comctl32.dll")) {
            using GetVersion = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
            if (auto get = reinterpret_cast<GetVersion>(
                    reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")))) {
                DLLVERSIONINFO v{sizeof v, 0, 0, 0, 0};
                if (SUCCEEDED(get(&v))) f.comctl470 = ((v.dwMajorVersion << 16) | v.dwMinorVersion) > ((4u << 16) | 69);
            }
        }
        return f;
    }();
    return facts;
}

HBITMAP LoadPicture(const wchar_t* name) {
    return static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_CREATEDIBSECTION));
}

// The shell's type name and icon; false when the shell had no answer.
bool AskShell(const void* item, bool isPidl, DWORD attributes, UINT flags, SHFILEINFOW& info) {
    flags |= isPidl ? SHGFI_PIDL : 0u;
    return SHGetFileInfoW(static_cast<const wchar_t*>(item), attributes, &info, sizeof info, flags) != 0;
}

}  // namespace

// ===========================================================================
// TIEListView

TIEListView::TIEListView() {
    arrowDown_ = LoadPicture(L"DOWNARROW2");
    arrowUp_ = LoadPicture(L"UPARROW2");
}

TIEListView::~TIEListView() {
    if (arrowDown_) DeleteObject(arrowDown_);
    if (arrowUp_) DeleteObject(arrowUp_);
}

void TIEListView::SetMask(const std::wstring& mask) { mask_ = NormaliseMask(mask); }

void TIEListView::SetSortColumn(int column) {
    if (column == sort_.column) return;
    sort_.column = column;
    if (hwnd_ && ListView_GetItemCount(hwnd_) > 0) SortItems();
    UpdateHeaderSortImages();
}

void TIEListView::SetSortAscending(bool ascending) {
    if (ascending == sort_.ascending) return;
    sort_.ascending = ascending;
    if (hwnd_ && ListView_GetItemCount(hwnd_) > 0) SortItems();
    UpdateHeaderSortImages();
}

void TIEListView::SetDateTimeDisplay(TDateTimeDisplay display) {
    if (display == dateTimeDisplay_) return;
    dateTimeDisplay_ = display;
    RebuildDateTimeFormat();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TIEListView::SetViewStyle(TViewStyle style) {
    viewStyle_ = style;
    if (!hwnd_) return;
    static constexpr DWORD kViews[] = {LV_VIEW_ICON, LV_VIEW_SMALLICON, LV_VIEW_LIST, LV_VIEW_DETAILS};
    DWORD view = kViews[static_cast<int>(style)];
    // Wine's list control cannot lay out a virtual list in the icon views (items pile up at the
    // left edge, and every item is fetched at each paint); there its list view stands in.
    if (RunningOnWine() && (view == LV_VIEW_SMALLICON || view == LV_VIEW_ICON)) view = LV_VIEW_LIST;
    SendMessageW(hwnd_, LVM_SETVIEW, view, 0);
    if (style == TViewStyle::vsReport) UpdateHeaderSortImages();
}

void TIEListView::RebuildDateTimeFormat() {
    auto info = [](LCTYPE type) {
        wchar_t buffer[128]{};
        const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 128);
        return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    };
    datePart_ = DatePart(info(LOCALE_SSHORTDATE), datePart_);
    dateTimeFormat_ = DateTimeFormat(dateTimeDisplay_, datePart_, info(LOCALE_SSHORTTIME), info(LOCALE_STIMEFORMAT));
}

void TIEListView::UpdateHeaderSortImages() {
    if (!hwnd_) return;
    const HWND header = ListView_GetHeader(hwnd_);
    if (!header) return;
    const int columns = Header_GetItemCount(header);
    for (int i = 0; i < columns; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, i, &item);
        item.fmt &= ~(HDF_BITMAP | HDF_BITMAP_ON_RIGHT | HDF_SORTUP | HDF_SORTDOWN);
        item.mask = HDI_FORMAT | HDI_BITMAP;
        item.hbm = nullptr;
        if (ShowColumnIcon && i == sort_.column) {
            item.hbm = sort_.ascending ? arrowDown_ : arrowUp_;
            item.fmt |= HDF_BITMAP;
            // Beside the caption: right of left-aligned texts, left of the others.
            if ((item.fmt & HDF_JUSTIFYMASK) == HDF_LEFT) item.fmt |= HDF_BITMAP_ON_RIGHT;
        }
        Header_SetItem(header, i, &item);
    }
}

// ===========================================================================
// TDirView

TDirView::TDirView() {
    viewStyle_ = TViewStyle::vsIcon;
    primaryLanguage_ = PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID()));
    dirUp16_ = ImageList_LoadImageW(GetModuleHandleW(nullptr), L"DIRUP16", 16, 0, CLR_DEFAULT, IMAGE_BITMAP,
                                    LR_CREATEDIBSECTION);
    dirUp32_ = ImageList_LoadImageW(GetModuleHandleW(nullptr), L"DIRUP32", 32, 0, CLR_DEFAULT, IMAGE_BITMAP,
                                    LR_CREATEDIBSECTION);
    RebuildDateTimeFormat();
}

TDirView::~TDirView() {
    if (stopWatching_) {
        SetEvent(stopWatching_);  // a check of moved files never reaches a list that is gone
        CloseHandle(stopWatching_);
    }
    if (hwnd_) {
        RevokeDragDrop(hwnd_);
        RemoveWindowSubclass(hwnd_, SubclassProc, 1);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    if (dirUp16_) ImageList_Destroy(dirUp16_);
    if (dirUp32_) ImageList_Destroy(dirUp32_);
}

void TDirView::Create(HWND parent, DesignRect rect, const Scaler& scale) {
    DWORD style = LVS_OWNERDATA | LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE | WS_TABSTOP;
    if (!multiSelect_) style |= LVS_SINGLESEL;
    if (!ReadOnly) style |= LVS_EDITLABELS;
    FileOperator.ProgressTitle = L"Filesystem Operation";
    Control::Create(parent, WC_LISTVIEWW, L"", style, rect, scale, WS_EX_CLIENTEDGE);
    SetWindowSubclass(hwnd_, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
    const auto [smallImages, largeImages] = SystemImageLists();
    ListView_SetImageList(hwnd_, smallImages, LVSIL_SMALL);
    ListView_SetImageList(hwnd_, largeImages, LVSIL_NORMAL);
    ListView_SetCallbackMask(hwnd_, LVIS_OVERLAYMASK | LVIS_CUT | LVIS_DROPHILITED);
    ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_HEADERDRAGDROP);
    CreateColumns();
    SetViewStyle(viewStyle_);
    dragDrop_ = std::make_unique<TDragDropFilesEx>(*this);
    RegisterDragDrop(hwnd_, dragDrop_.get());
    stopWatching_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void TDirView::CreateColumns() {
    const auto captions = ColumnCaptions(primaryLanguage_);
    const int widths[] = {ColWidthName, ColWidthSize, ColWidthType, ColWidthDate, ColWidthAttr};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = widths[i];
        column.pszText = const_cast<wchar_t*>(captions[static_cast<std::size_t>(i)].c_str());
        column.iSubItem = i;
        ListView_InsertColumn(hwnd_, i, &column);
    }
    UpdateHeaderSortImages();
}

void TDirView::SetMultiSelect(bool multi) {
    multiSelect_ = multi;
    if (!hwnd_) return;
    const auto style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, multi ? style & ~LVS_SINGLESEL : style | LVS_SINGLESEL);
}

void TDirView::SetMask(const std::wstring& mask) {
    const auto normalised = NormaliseMask(mask);
    if (normalised == mask_) return;
    mask_ = normalised;
    Reload(true);
}

void TDirView::SetViewStyle(TViewStyle style) {
    if (loading_) return;
    switchingView_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{switchingView_};
    TIEListView::SetViewStyle(style);
}

// ---------------------------------------------------------------------------
// Items

const TFileRec* TDirView::Item(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

int TDirView::Selected() const { return hwnd_ ? ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED) : -1; }

int TDirView::FocusedItem() const { return hwnd_ ? ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED) : -1; }

bool TDirView::IsSelected(int index) const {
    return hwnd_ && (ListView_GetItemState(hwnd_, index, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void TDirView::SetSelected(int index, bool selected) {
    ListView_SetItemState(hwnd_, index, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

void TDirView::SetFocusedItem(int index) { ListView_SetItemState(hwnd_, index, LVIS_FOCUSED, LVIS_FOCUSED); }

std::vector<int> TDirView::SelectedItems() const {
    std::vector<int> result;
    for (int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED))
        result.push_back(i);
    return result;
}

std::int64_t TDirView::FilesSelSize() const {
    std::int64_t sum = 0;
    for (int i : SelectedItems())
        if (items_[static_cast<std::size_t>(i)]->Size > 0) sum += items_[static_cast<std::size_t>(i)]->Size;
    return sum;
}

std::wstring TDirView::ItemFullFileName(int index) const {
    const TFileRec* rec = Item(index);
    return rec ? FullName(*rec) : std::wstring();
}

int TDirView::FindFileItem(const std::wstring& fileName) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<std::size_t>(i)]->FileName == fileName) return i;
    return -1;
}

void TDirView::SyncCount() {
    if (hwnd_) ListView_SetItemCountEx(hwnd_, Count(), 0);
}

void TDirView::ClearSelection() {
    if (hwnd_) ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
}

void TDirView::DeleteAllItems() {
    if (hwnd_) ListView_SetItemCountEx(hwnd_, 0, 0);
    items_.clear();
    filesSize_ = 0;
}

std::wstring TDirView::MakeDisplayName(const std::wstring& fileName) const {
    switch (FileNameDisplay) {
        case TFileNameDisplay::fndCap:
            return Upper(fileName);
        case TFileNameDisplay::fndNoCap:
            return Lower(fileName);
        case TFileNameDisplay::fndNice: {
            if (fileName.size() > 12 || fileName.find(L' ') != std::wstring::npos) return fileName;
            auto nice = Lower(fileName);
            if (!nice.empty()) nice[0] = Upper(nice.substr(0, 1))[0];
            return nice;
        }
        case TFileNameDisplay::fndStored:
            break;
    }
    return fileName;
}

// ---------------------------------------------------------------------------
// Loading

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
    auto rec = std::make_unique<TFileRec>();
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
    auto rec = std::make_unique<TFileRec>();
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

    const HCURSOR oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    bool windowGone = false;
    // Whatever happens below, the list ends usable: flags cleared, control in step, cursor back.
    struct Finish {
        TDirView& v;
        HCURSOR cursor;
        bool done = false;
        ~Finish() {
            if (done) return;
            v.loading_ = false;
            v.abortLoading_ = false;
            v.loadPending_ = false;
            v.answerDisplay_ = true;
            v.SyncCount();
            SetCursor(cursor);
        }
    } finish{*this, oldCursor};

    ClearSelection();
    DeleteAllItems();
    answerDisplay_ = false;

    dirOK_ = false;
    if (!p.empty()) {
        auto& drives = TDriveInfo::Instance();
        const auto status = drives.ReadDriveStatus(p[0], TDriveInfo::dsReady);
        pathDriveType_ = drives.Get(p[0]).DriveType;
        bool folder = (p.size() == 2 || p.size() == 3) && p[1] == L':';
        if (!folder) {
            const DWORD attributes = GetFileAttributesW(ApiPath(p).c_str());
            folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        dirOK_ = status.ready && folder;
    }
    isRecycleBinView_ = false;
    if (dirOK_) {
        // A drive's recycle folder is listed like any other folder.
        isRecycleBinView_ = p.size() >= 11 && Upper(p.substr(1, 10)) == L":\\RECYCLED";

        const auto masks = SplitMasks(mask_);
        std::unordered_set<std::wstring> listed;  // with several masks, each file once
        for (const auto& mask : masks) {
            if (abortLoading_ || windowGone) break;
            int added = 0;
            for (Search s(p + L"\\" + mask); s.Valid() && !abortLoading_; s.Next()) {
                const auto& d = s.Data();
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                if (!PassesFilters(d)) continue;
                if (!AskAddFile(d)) continue;
                if (masks.size() > 1 && !listed.insert(d.cFileName).second) continue;
                AddEntry(d);
                if (++added % kPumpEvery == 0 && !PumpMessages()) {
                    windowGone = true;
                    break;
                }
            }
        }
        if (!abortLoading_ && !windowGone) {
            if (p.size() > 2) AddParentEntry(p);
            if (ShowDirectories) {
                int added = 0;
                for (Search s(p + L"\\*.*"); s.Valid() && !abortLoading_; s.Next()) {
                    const auto& d = s.Data();
                    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(d.cFileName)) continue;
                    if (!AskAddFile(d)) continue;
                    AddEntry(d);
                    if (++added % kPumpEvery == 0 && !PumpMessages()) {
                        windowGone = true;
                        break;
                    }
                }
            }
        }
    }

    loading_ = false;
    finish.done = true;
    if (windowGone) {
        abortLoading_ = loadPending_ = false;
        answerDisplay_ = true;
        SetCursor(oldCursor);
        return;
    }
    if (abortLoading_) {
        abortLoading_ = false;
        answerDisplay_ = true;
        SetCursor(oldCursor);
        items_.clear();
        Reload(false);
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
    SetCursor(oldCursor);
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

void TDirView::SetLoadEnabled(bool enabled) {
    loadEnabled_ = enabled;
    if (enabled && loadPending_) {
        loadPending_ = false;
        if (Count() <= 100)
            Reload(true);
        else
            Refresh();
    }
}

void TDirView::Refresh() {
    if (loading_) return;
    if (isRecycleBinView_) return Reload(true);
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
        TFileRec& rec = *items_[it->second];
        const bool isDir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::int64_t size = isDir ? -1 : SizeOf(d);
        const std::int64_t time = TimeCount(d.ftLastWriteTime);
        if (rec.IsParentDir) return;
        if (size != rec.Size || d.dwFileAttributes != rec.Attr || time != rec.FileTime) {
            changed = true;
            const bool sizeChanged = size != rec.Size;
            if (rec.Size > 0) filesSize_ -= rec.Size;
            if (size > 0) filesSize_ += size;
            rec.Size = size, rec.Attr = d.dwFileAttributes, rec.FileTime = time;
            if (sizeChanged && OnFileSizeChanged) OnFileSizeChanged(this, static_cast<int>(it->second));
        }
    };
    for (const auto& mask : SplitMasks(mask_))
        for (Search s(path_ + L"\\" + mask); s.Valid(); s.Next()) {
            const auto& d = s.Data();
            if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !PassesFilters(d)) continue;
            look(d);
        }
    if (ShowDirectories)
        for (Search s(path_ + L"\\*.*"); s.Valid(); s.Next()) {
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
    for (int i : selected) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (GetFileAttributesW(ApiPath(ItemFullFileName(i)).c_str()) == INVALID_FILE_ATTRIBUTES)
            rec.marked_ = true;  // gone
        else
            keepSelected.push_back(&rec);
    }
    if (keepSelected.size() == selected.size()) return;
    ClearSelection();
    std::erase_if(items_, [&](const std::unique_ptr<TFileRec>& rec) {
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

// ---------------------------------------------------------------------------
// Display data

void TDirView::FetchDisplayData(TFileRec& rec, bool fetchIcon) {
    const auto& facts = Facts();
    const bool ownIcon = OwnIcon(rec.FileExt);
    const std::wstring full = FullName(rec);
    if (rec.IconEmpty && (fetchIcon || !ownIcon)) {
        SHFILEINFOW info{};
        if (ownIcon && !rec.PIDL) {
            PIDLIST_ABSOLUTE pidl = nullptr;
            if (SUCCEEDED(SHParseDisplayName(full.c_str(), nullptr, &pidl, 0, nullptr))) rec.PIDL.reset(pidl);
        }
        if (rec.IsDirectory && rec.PIDL) {
            SFGAOF attributes = SFGAO_SHARE;
            IShellFolder* desktop = nullptr;
            if (SUCCEEDED(SHGetDesktopFolder(&desktop))) {
                PCUITEMID_CHILD child = nullptr;
                IShellFolder* parent = nullptr;
                if (SUCCEEDED(SHBindToParent(rec.PIDL.get(), IID_IShellFolder, reinterpret_cast<void**>(&parent),
                                             &child))) {
                    if (SUCCEEDED(parent->GetAttributesOf(1, &child, &attributes)) && (attributes & SFGAO_SHARE))
                        rec.OverlayIndex = 1;
                    parent->Release();
                }
                desktop->Release();
            }
        }
        const UINT iconFlags = SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_SMALLICON;
        if (rec.IsDirectory && pathDriveType_ == DRIVE_FIXED) {
            const bool ok = rec.PIDL ? AskShell(rec.PIDL.get(), true, 0, iconFlags, info)
                                     : AskShell(full.c_str(), false, 0, iconFlags, info);
            if (ok) {
                if (info.iIcon < 1 || info.iIcon >= ImageList_GetImageCount(facts.smallImages))
                    AskShell(full.c_str(), false, FILE_ATTRIBUTE_DIRECTORY, iconFlags | SHGFI_USEFILEATTRIBUTES, info);
                rec.TypeName = std::wstring(info.szTypeName).substr(0, 80);
                rec.ImageIndex = info.iIcon;
            } else {
                rec.ImageIndex = facts.folderIcon;
            }
        } else if (rec.IsDirectory) {
            rec.TypeName = facts.folderType;
            rec.ImageIndex = facts.folderIcon;
        } else {
            const bool ok = rec.PIDL ? AskShell(rec.PIDL.get(), true, 0, iconFlags, info)
                                     : AskShell(full.c_str(), false, FILE_ATTRIBUTE_NORMAL,
                                                iconFlags | SHGFI_USEFILEATTRIBUTES, info);
            if (ok) {
                rec.TypeName = info.szTypeName;
                rec.ImageIndex = info.iIcon;
            } else {
                rec.ImageIndex = facts.fileIcon;
            }
        }
        rec.IconEmpty = false;
        if (rec.TypeName.empty()) {
            auto pattern = FileTypePattern(primaryLanguage_);
            pattern.replace(pattern.find(L"%s"), 2, rec.FileExt);
            rec.TypeName = pattern;
        }
    } else if (rec.Empty) {
        rec.TypeName = TypeNameOnly(rec, full);
        if (rec.IconEmpty) rec.ImageIndex = rec.FileExt == L"EXE" ? facts.programIcon : facts.fileIcon;
    }
    rec.Empty = false;
}

std::wstring TDirView::TypeNameOnly(const TFileRec& rec, const std::wstring& full) {
    // During a sort by type the answers are kept by extension: the shell answers by it alone.
    const std::wstring key = rec.IsDirectory ? std::wstring(L"\\") : Upper(PathFindExtensionW(rec.FileName.c_str()));
    if (typeNames_) {
        if (const auto it = typeNames_->find(key); it != typeNames_->end()) return it->second;
    }
    SHFILEINFOW info{};
    std::wstring type;
    const bool ok = rec.IsDirectory ? AskShell(path_.c_str(), false, FILE_ATTRIBUTE_DIRECTORY,
                                               SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, info)
                                    : AskShell(full.c_str(), false, FILE_ATTRIBUTE_NORMAL,
                                               SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, info);
    if (ok) type = info.szTypeName[0] ? std::wstring(info.szTypeName) : Facts().folderType;
    if (typeNames_) (*typeNames_)[key] = type;
    return type;
}

bool TDirView::OnScreen(int index) const {
    RECT item{LVIR_ICON, 0, 0, 0}, client, both;
    if (!ListView_GetItemRect(hwnd_, index, &item, LVIR_ICON)) return false;
    GetClientRect(hwnd_, &client);
    return IntersectRect(&both, &item, &client) != FALSE;
}

std::wstring TDirView::FullName(const TFileRec& rec) const {
    return isRecycleBinView_ ? rec.FileName : path_ + L"\\" + rec.FileName;
}

std::wstring TDirView::ColumnText(int index, int column) {
    TFileRec* rec = index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
    if (!rec) return {};
    switch (column) {
        case 0:
            return rec->DisplayName;
        case 1: {
            if (rec->IsDirectory) return {};
            wchar_t separator[8]{};
            GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
            return SizeText(rec->Size, separator[0]);
        }
        case 2:
            if (SortByExtension && !rec->IsDirectory)
                return FileNameDisplay == TFileNameDisplay::fndNoCap || FileNameDisplay == TFileNameDisplay::fndNice
                           ? Lower(rec->FileExt)
                           : rec->FileExt;
            if (rec->Empty) FetchDisplayData(*rec, false);
            return rec->TypeName;
        case 3: {
            FILETIME local;
            SYSTEMTIME st;
            const FILETIME utc = FromCount(rec->FileTime);
            if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return {};
            return FormatDateTime(st);
        }
        case 4: {
            auto text = AttrText(rec->Attr, AttrSpace, true);
            return FileNameDisplay == TFileNameDisplay::fndCap ? Upper(text) : text;
        }
        default:
            return {};
    }
}

std::wstring TDirView::FormatDateTime(const SYSTEMTIME& st) const {
    // The format is the date part, two blanks and a time part; each goes to its own formatter.
    const auto& format = DateTimeFormatText();
    const auto gap = format.find(L"  ");
    const std::wstring datePicture = format.substr(0, gap);
    const std::wstring timePicture = gap == std::wstring::npos ? std::wstring() : format.substr(gap + 2);
    wchar_t date[128]{}, time[128]{};
    if (!datePicture.empty())
        GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, datePicture.c_str(), date, 128, nullptr);
    if (!timePicture.empty()) GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, timePicture.c_str(), time, 128);
    return timePicture.empty() ? std::wstring(date) : std::wstring(date) + L"  " + time;
}

// ---------------------------------------------------------------------------
// Sorting

int TDirView::CompareNames(const std::wstring& a, const std::wstring& b) const {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                          static_cast<int>(b.size())) -
           2;
}

void TDirView::SortItems() {
    if (!hwnd_ || items_.empty()) return;
    const HCURSOR oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const bool answered = answerDisplay_;
    answerDisplay_ = false;
    for (int i : SelectedItems()) items_[static_cast<std::size_t>(i)]->marked_ = true;
    const TFileRec* focusedRec = Item(FocusedItem());
    if (sort_.column == 2) {
        std::unordered_map<std::wstring, std::wstring> cache;
        typeNames_ = &cache;
        for (auto& rec : items_)
            if (rec->Empty) FetchDisplayData(*rec, false);
        typeNames_ = nullptr;
    }
    SortOrder order = sort_;
    order.dirsOnTop = DirsOnTop;
    const NameCompare names = [this](const std::wstring& a, const std::wstring& b) { return CompareNames(a, b); };
    std::stable_sort(items_.begin(), items_.end(), [&](const auto& a, const auto& b) {
        return CompareEntries(*a, *b, order, names) < 0;
    });
    ClearSelection();
    for (int i = 0; i < Count(); ++i) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (rec.marked_) SetSelected(i, true), rec.marked_ = false;
        if (&rec == focusedRec) SetFocusedItem(i);
    }
    answerDisplay_ = answered;
    InvalidateRect(hwnd_, nullptr, FALSE);
    SetCursor(oldCursor);
}

// ---------------------------------------------------------------------------
// Execute, keys and mouse

void TDirView::ShowProperties() {
    // Nothing selected: the folder's own sheet; one item: its sheet; several: none.
    const auto selected = SelectedItems();
    if (selected.size() > 1) return;
    const std::wstring name = selected.empty() ? (path_.size() == 2 ? path_ + L"\\" : path_)
                                               : ItemFullFileName(selected[0]);
    if (name.empty()) return;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = GetAncestor(hwnd_, GA_ROOT);
    info.lpVerb = L"properties";
    info.lpFile = name.c_str();
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

void TDirView::ExecuteCurrentFile() {
    if (GetKeyState(VK_MENU) < 0) return ShowProperties();
    int target = Selected();
    if (target < 0) {
        const int focused = FocusedItem();
        if (focused >= 0 && items_[static_cast<std::size_t>(focused)]->IsParentDir) target = focused;
    }
    if (target < 0) return;
    const TFileRec& rec = *items_[static_cast<std::size_t>(target)];
    if (rec.IsParentDir) {
        if (!loading_) SetPath(path_.substr(0, path_.rfind(L'\\') + 1));
        return;
    }
    if (isRecycleBinView_) return ShowProperties();
    bool allow = true;
    if (OnExecFile) OnExecFile(this, target, allow);
    if (!allow) return;
    const std::wstring full = ItemFullFileName(target);
    if (rec.IsDirectory || rec.FileExt == L"LNK") {
        std::wstring destination = full;
        if (!rec.IsDirectory) destination = ShortcutTarget(full);
        if (rec.IsDirectory && !IsExistingFolder(full)) return Refresh();
        if (IsExistingFolder(destination)) return SetPath(destination);
        if (!IsExistingFile(destination)) return;
    }
    // Open the file with the shell, from the list's folder.
    const DWORD need = GetCurrentDirectoryW(0, nullptr);
    std::wstring saved(need, L'\0');
    saved.resize(GetCurrentDirectoryW(need, saved.data()));
    SetCurrentDirectoryW(path_.size() == 2 ? (path_ + L"\\").c_str() : ApiPath(path_).c_str());
    Application::Instance().Dialogs().ShellOpen(GetAncestor(hwnd_, GA_ROOT), full);
    SetCurrentDirectoryW(saved.c_str());
}

std::wstring TDirView::ShortcutTarget(const std::wstring& link) {
    std::wstring result;
    IShellLinkW* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell))))
        return result;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t target[MAX_PATH + 1]{};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shell->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)))
            result = target;
        file->Release();
    }
    shell->Release();
    return result;
}

// ---------------------------------------------------------------------------
// Renaming in place

void TDirView::EditCaption(int index) {
    if (index < 0 || index >= Count()) return;
    ::SetFocus(hwnd_);
    ListView_EditLabel(hwnd_, index);
}

bool TDirView::BeginEdit(int index) {
    const bool again = reEdit_;
    reEdit_ = false;
    const TFileRec* rec = Item(index);
    if (!rec || ReadOnly || isRecycleBinView_ || rec->IsParentDir) return false;
    SetLoadEnabled(false);  // the list stays as it is while a name is typed
    if (const HWND edit = ListView_GetEditControl(hwnd_)) {
        SetWindowSubclass(edit, EditProc, 4, reinterpret_cast<DWORD_PTR>(this));
        if (again && !reEditName_.empty()) {
            SetWindowTextW(edit, reEditName_.c_str());
            SendMessageW(edit, EM_SETSEL, 0, -1);
        }
    }
    return true;
}

LRESULT CALLBACK TDirView::EditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_CHAR && wParam && std::wstring(kForbidden).find(static_cast<wchar_t>(wParam)) != std::wstring::npos) {
        Application::Instance().Dialogs().Beep();  // a name may not hold it
        return 0;
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(edit, EditProc, 4);
    return DefSubclassProc(edit, msg, wParam, lParam);
}

void TDirView::EndEdit(int index, const wchar_t* text) {
    struct Allow {
        TDirView& v;
        ~Allow() { v.SetLoadEnabled(true); }  // and a load asked for meanwhile runs now
    } allow{*this};
    TFileRec* rec = index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
    if (!text || !*text || !rec) return;  // cancelled
    const std::wstring newName = text;
    const auto texts = RenameMessages(primaryLanguage_);
    if (newName.find_first_of(kForbidden) != std::wstring::npos) {
        std::wstring message = std::wstring(texts.invalid) + L" ";
        for (const wchar_t* c = kForbidden; *c; ++c) message += L' ', message += *c;
        Application::Instance().ShowException(Error(message));
        return;
    }
    if (OnBeginRename) OnBeginRename(this, index, newName);
    const std::wstring target = path_ + L"\\" + newName;
    FileOperator.Operation = TFileOperation::foRename;
    FileOperator.Flags = foAllowUndo | foNoConfirmation;
    FileOperator.Owner = GetAncestor(hwnd_, GA_ROOT);
    FileOperator.OperandFrom = {ItemFullFileName(index)};
    FileOperator.OperandTo = {target};
    if (FileOperator.Execute()) {
        rec->FileName = newName;
        rec->DisplayName = newName;
        rec->FileExt = Extension3(newName);
        rec->TypeName.clear();
        rec->PIDL.reset();
        rec->Empty = rec->IconEmpty = true;
        FetchDisplayData(*rec, true);
        ListView_RedrawItems(hwnd_, index, index);
        if (OnEndRename) OnEndRename(this, index, newName);
        return;
    }
    ListView_RedrawItems(hwnd_, index, index);  // the old caption again
    auto& dialogs = Application::Instance().Dialogs();
    MessageBeep(MB_ICONHAND);
    const bool exists = GetFileAttributesW(ApiPath(target).c_str()) != INVALID_FILE_ATTRIBUTES;
    const auto answer = dialogs.Box(GetAncestor(hwnd_, GA_ROOT),
                                    std::wstring(exists ? texts.exists : texts.cannot) + newName, BoxKind::Error,
                                    BoxButtons::OkAbort);
    if (answer == BoxAnswer::Ok) {
        // Type the name again: the editor opens once this edit has ended.
        reEdit_ = true;
        reEditName_ = newName;
        PostMessageW(hwnd_, kReEdit, 0, 0);
    }
}

// ---------------------------------------------------------------------------
// The shell's context menu

void TDirView::ContextMenuKeyOrClick(LPARAM at) {
    const int first = Selected();
    if (first < 0 || !UseSystemContextMenu) return;  // no menu of its own
    POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        // From the keyboard: by the first selected item's label.
        RECT label{LVIR_LABEL, 0, 0, 0};
        ListView_GetItemRect(hwnd_, first, &label, LVIR_LABEL);
        p = {label.left + 20, label.top + 20};
        ClientToScreen(hwnd_, &p);
    }
    ShowContextMenu(p);
}

namespace {

// Serves the owner-drawn submenus of the shell's second menu interface.
struct MenuCallback {
    IContextMenu2* menu = nullptr;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<MenuCallback*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && self->menu &&
            (msg == WM_INITMENUPOPUP || msg == WM_DRAWITEM || msg == WM_MEASUREITEM)) {
            self->menu->HandleMenuMsg(msg, wParam, lParam);
            return msg == WM_INITMENUPOPUP ? 0 : TRUE;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

}  // namespace

// The shell's object (context menu, data object) for items of the list's folder; nullptr when
// the shell cannot name them. The caller releases it.
void* TDirView::ShellObjectOf(const std::vector<int>& items, REFIID kind, HWND owner) const {
    const std::wstring folder = path_.size() == 2 ? path_ + L"\\" : path_;
    IShellFolder* desktop = nullptr;
    IShellFolder* shellFolder = nullptr;
    PIDLIST_ABSOLUTE folderPidl = nullptr;
    std::vector<PITEMID_CHILD> children;
    void* object = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
        SUCCEEDED(SHParseDisplayName(folder.c_str(), nullptr, &folderPidl, 0, nullptr)) &&
        SUCCEEDED(desktop->BindToObject(folderPidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder)))) {
        for (int i : items) {
            PIDLIST_RELATIVE child = nullptr;
            std::wstring name = items_[static_cast<std::size_t>(i)]->FileName;
            if (SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &child, nullptr)))
                children.push_back(reinterpret_cast<PITEMID_CHILD>(child));
        }
        if (!children.empty())
            shellFolder->GetUIObjectOf(owner, static_cast<UINT>(children.size()),
                                       const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), kind, nullptr, &object);
    }
    for (auto child : children) CoTaskMemFree(const_cast<ITEMID_CHILD*>(child));
    if (shellFolder) shellFolder->Release();
    if (folderPidl) CoTaskMemFree(folderPidl);
    if (desktop) desktop->Release();
    return object;
}

void TDirView::ShowContextMenu(POINT screen) {
    const auto selected = SelectedItems();
    if (selected.empty() || path_.empty()) return;
    // The shell works from the list's folder while its menu is up.
    const DWORD need = GetCurrentDirectoryW(0, nullptr);
    std::wstring saved(need, L'\0');
    saved.resize(GetCurrentDirectoryW(need, saved.data()));
    const std::wstring folder = path_.size() == 2 ? path_ + L"\\" : path_;
    SetCurrentDirectoryW(ApiPath(folder).c_str());
    struct Restore {
        const std::wstring& dir;
        ~Restore() { SetCurrentDirectoryW(dir.c_str()); }
    } restore{saved};

    bool canRename = false;
    if (selected.size() == 1) {
        canRename = BeginEdit(selected[0]);
        if (canRename) SetLoadEnabled(true);  // only asked; no edit runs yet
    }
    auto* menu = static_cast<IContextMenu*>(ShellObjectOf(selected, IID_IContextMenu, GetAncestor(hwnd_, GA_ROOT)));
    std::wstring verb;
    UINT chosen = 0;
    if (menu) {
        IContextMenu2* menu2 = nullptr;
        menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2));
        const UINT last = menu2 ? 1000 : 32767;
        const HMENU popup = CreatePopupMenu();
        menu->QueryContextMenu(popup, 0, 1, last, CMF_EXPLORE | (canRename ? CMF_CANRENAME : 0));
        HWND owner = GetAncestor(hwnd_, GA_ROOT);
        MenuCallback callback{menu2};
        HWND callbackWindow = nullptr;
        if (menu2) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = MenuCallback::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"ShellDialogsCallBack";
            RegisterClassW(&wc);
            callbackWindow = CreateWindowExW(0, L"ShellDialogsCallBack", L"ShellDialogsCallBackProcessor", WS_POPUP,
                                             0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            SetWindowLongPtrW(callbackWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&callback));
            owner = callbackWindow;
        }
        chosen = ChooseFromMenu ? ChooseFromMenu(popup, menu)
                                : static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x,
                                                                   screen.y, 0, owner, nullptr));
        if (chosen > 0) {
            wchar_t name[256]{};
            if (SUCCEEDED(menu->GetCommandString(chosen - 1, GCS_VERBW, nullptr, reinterpret_cast<char*>(name), 256)))
                verb = Lower(name);
            // Rename is the list's own (its caption editor), and so is a paste onto a folder or
            // onto several items.
            const bool listPastes = verb == L"paste" &&
                                    (selected.size() > 1 || items_[static_cast<std::size_t>(selected[0])]->IsDirectory);
            if (verb != L"rename" && !listPastes) {
                CMINVOKECOMMANDINFO invoke{};
                invoke.cbSize = sizeof invoke;
                invoke.hwnd = GetAncestor(hwnd_, GA_ROOT);
                invoke.lpVerb = MAKEINTRESOURCEA(chosen - 1);
                invoke.nShow = SW_SHOWNORMAL;
                menu->InvokeCommand(&invoke);
            }
        }
        if (callbackWindow) DestroyWindow(callbackWindow);
        DestroyMenu(popup);
        if (menu2) menu2->Release();
        menu->Release();
    }

    if (verb == L"rename") {
        EditCaption(selected[0]);
    } else if (verb == L"cut") {
        PendingClipboardMark = TClipboardMark::Cut;
        for (auto& rec : items_) rec->Cut = false;
        for (int i : selected) items_[static_cast<std::size_t>(i)]->Cut = true;
        InvalidateRect(hwnd_, nullptr, FALSE);
    } else if (verb == L"copy") {
        PendingClipboardMark = TClipboardMark::Copy;
    } else if (verb == L"paste" &&
               (selected.size() > 1 || items_[static_cast<std::size_t>(selected[0])]->IsDirectory)) {
        // Into the (first) selected item, which must be a folder.
        const TFileRec* first = items_[static_cast<std::size_t>(selected[0])].get();
        if (!first->IsDirectory)
            ReportDropError(1);
        else
            PasteInto(first->IsParentDir ? path_.substr(0, path_.rfind(L'\\')) : ItemFullFileName(selected[0]));
    } else {
        Refresh();
    }
    Sleep(250);  // the shell may still be at work on the files
    ValidateSelectedFiles();
}

// ---------------------------------------------------------------------------
// Drag-and-drop

void TDirView::SetDropTarget(int index) {
    if (index == dropTarget_) return;
    const int old = dropTarget_;
    dropTarget_ = index;
    if (old >= 0) ListView_RedrawItems(hwnd_, old, old);
    if (index >= 0) ListView_RedrawItems(hwnd_, index, index);
}

DWORD TDirView::AskDropEffect(DWORD allowed, DWORD proposed, POINT screen) {
    const auto texts = DropMenu(primaryLanguage_);
    const HMENU menu = CreatePopupMenu();
    auto add = [&](DWORD effect, const std::wstring& text) {
        if (!(allowed & effect)) return;
        AppendMenuW(menu, MF_STRING, effect, text.c_str());
        if (effect == proposed) SetMenuDefaultItem(menu, effect, FALSE);
    };
    add(DROPEFFECT_MOVE, texts.move);
    add(DROPEFFECT_COPY, texts.copy);
    add(DROPEFFECT_LINK, texts.link);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    constexpr UINT kCancel = 100;
    AppendMenuW(menu, MF_STRING, kCancel, texts.cancel.c_str());
    const UINT chosen = ChooseFromDropMenu ? ChooseFromDropMenu(menu)
                                           : static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                                              screen.x, screen.y, 0, hwnd_, nullptr));
    DestroyMenu(menu);
    return chosen == DROPEFFECT_MOVE || chosen == DROPEFFECT_COPY || chosen == DROPEFFECT_LINK ? chosen
                                                                                               : DROPEFFECT_NONE;
}

void TDirView::ReportDropError(int number) {
    if (OnDDError) return OnDDError(this, number);
    throw Error(L"DragDrop Error: " + std::to_wstring(number));
}

void TDirView::ProcessDropped(const std::vector<std::wstring>& names, DWORD effect, bool fromThisList) {
    struct Clear {
        TDirView& v;
        ~Clear() { v.SetDropTarget(-1); }
    } clear{*this};
    if (!dirOK_ || effect == DROPEFFECT_NONE || names.empty()) return;
    const std::wstring root = path_.size() == 2 ? path_ + L"\\" : path_;
    std::wstring target = root;
    bool renameOnCollision = false;
    if (const TFileRec* highlighted = Item(dropTarget_)) {
        if (highlighted->IsParentDir) {
            target = path_.substr(0, path_.rfind(L'\\'));
            if (target.size() == 2) target += L'\\';
        } else {
            target = path_ + L"\\" + highlighted->FileName;
        }
    } else {
        renameOnCollision = effect == DROPEFFECT_COPY && fromThisList;
    }
    CarryOut(names, effect, target, renameOnCollision);
    if (OnDDExecuted) OnDDExecuted(this, effect);
}

void TDirView::CarryOut(const std::vector<std::wstring>& names, DWORD effect, const std::wstring& target,
                        bool renameOnCollision) {
    if (!IsExistingFolder(target)) {
        Reload(true);
        return ReportDropError(1);
    }
    const HCURSOR oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    struct Cursor {
        HCURSOR c;
        ~Cursor() { SetCursor(c); }
    } restore{oldCursor};
    std::wstring folder = target;
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (effect == DROPEFFECT_COPY || effect == DROPEFFECT_MOVE) {
        FileOperator.Operation = effect == DROPEFFECT_COPY ? TFileOperation::foCopy : TFileOperation::foMove;
        FileOperator.Flags = foAllowUndo | foNoConfirmMkDir;
        if (renameOnCollision) FileOperator.Flags |= foRenameOnCollision;
        FileOperator.WantMappingHandle = renameOnCollision;
        if (!ConfirmOverwrite) FileOperator.Flags |= foNoConfirmation;
        FileOperator.Owner = GetAncestor(hwnd_, GA_ROOT);
        FileOperator.OperandFrom = names;
        FileOperator.OperandTo = {folder};
        const std::wstring& first = names.front();
        const std::wstring source = IsExistingFolder(first) ? first : first.substr(0, first.find_last_of(L"\\/"));
        bool doOperation = true;
        if (OnDDFileOperation) OnDDFileOperation(this, effect, source, folder, doOperation);
        if (!doOperation) {
            FileOperator.OperandFrom.clear(), FileOperator.OperandTo.clear();
            return;
        }
        FileOperator.Execute();
        Refresh();
        if (OnDDFileOperationExecuted) OnDDFileOperationExecuted(this, effect, source, folder);
        return;
    }
    if (effect == DROPEFFECT_LINK) {
        bool failed = false;
        for (const auto& name : names) {
            const std::wstring pretty =
                name.size() == 3 && name[1] == L':' ? TDriveInfo::Instance().GetPrettyName(name[0]) : std::wstring();
            const std::wstring file = ShortcutFileName(folder.size() == 3 ? folder.substr(0, 2) : folder, name, pretty);
            IShellLinkW* link = nullptr;
            IPersistFile* persist = nullptr;
            bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                                 reinterpret_cast<void**>(&link)));
            if (ok) {
                const auto slash = name.find_last_of(L"\\/");
                const std::wstring base = name.substr(slash + 1);
                link->SetPath(name.c_str());
                link->SetWorkingDirectory(name.substr(0, slash).c_str());
                link->SetDescription(base.substr(0, base.rfind(L'.')).c_str());
                ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
                     SUCCEEDED(persist->Save(file.c_str(), TRUE));
            }
            if (persist) persist->Release();
            if (link) link->Release();
            failed = failed || !ok;
        }
        Refresh();
        if (failed) ReportDropError(0);
    }
}

void TDirView::PasteInto(const std::wstring& targetFolder) {
    if (!dirOK_ || path_.empty() || !IsClipboardFormatAvailable(CF_HDROP)) return;
    IDataObject* data = nullptr;
    if (FAILED(OleGetClipboard(&data))) return;
    const auto names = DroppedFileNames(data);
    data->Release();
    if (names.empty()) return;
    const std::wstring target = targetFolder.empty() ? (path_.size() == 2 ? path_ + L"\\" : path_) : targetFolder;
    switch (PendingClipboardMark) {
        case TClipboardMark::Cut:
            CarryOut(names, DROPEFFECT_MOVE, target, false);
            if (OpenClipboard(hwnd_)) {
                EmptyClipboard();
                CloseClipboard();
            }
            for (auto& rec : items_) rec->Cut = false;
            PendingClipboardMark = TClipboardMark::None;
            break;
        case TClipboardMark::Copy: {
            const std::wstring& first = names.front();
            const bool sameFolder = _wcsicmp(first.substr(0, first.find_last_of(L"\\/")).c_str(), path_.c_str()) == 0;
            CarryOut(names, DROPEFFECT_COPY, target, sameFolder);
            break;
        }
        case TClipboardMark::None:
            CarryOut(names, DROPEFFECT_COPY, target, false);
            break;
    }
}

TDirView::DragPicture TDirView::MakeDragPicture(const std::vector<int>& selected) const {
    DragPicture picture;
    if (selected.empty()) return picture;
    if (selected.size() == 1) {
        // The control's own image of the item, held where the mouse took it.
        POINT origin{};
        const HIMAGELIST image = ListView_CreateDragImage(hwnd_, selected[0], &origin);
        if (!image) return picture;
        IMAGEINFO info{};
        ImageList_GetImageInfo(image, 0, &info);
        picture.size = {info.rcImage.right - info.rcImage.left, info.rcImage.bottom - info.rcImage.top};
        picture.bitmap = static_cast<HBITMAP>(CopyImage(info.hbmImage, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ImageList_Destroy(image);
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(hwnd_, &cursor);
        picture.hotSpot = {std::clamp<LONG>(cursor.x - origin.x, 0, picture.size.cx),
                           std::clamp<LONG>(cursor.y - origin.y, 0, picture.size.cy)};
        picture.transparent = GetSysColor(COLOR_WINDOW);
        return picture;
    }
    unsigned files = 0, folders = 0;
    for (int i : selected) (items_[static_cast<std::size_t>(i)]->IsDirectory ? folders : files)++;
    const auto text = DragFilesText(files, folders, primaryLanguage_);
    const auto pages = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), L"DRAGFILES", IMAGE_BITMAP, 0, 0,
                                                       LR_CREATEDIBSECTION));
    if (!pages) return picture;
    const HDC screen = GetDC(nullptr);
    const HDC source = CreateCompatibleDC(screen), dc = CreateCompatibleDC(screen);
    const HGDIOBJ oldSource = SelectObject(source, pages);
    picture.transparent = GetPixel(source, 0, 0);  // the top-left pixel's colour
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    picture.size = {33 + extent.cx + 2, 32};
    picture.bitmap = CreateCompatibleBitmap(screen, picture.size.cx, picture.size.cy);
    const HGDIOBJ oldBitmap = SelectObject(dc, picture.bitmap);
    RECT all{0, 0, picture.size.cx, picture.size.cy};
    const HBRUSH key = CreateSolidBrush(picture.transparent);
    FillRect(dc, &all, key);
    DeleteObject(key);
    BitBlt(dc, 0, 0, 32, 32, source, 0, 0, SRCCOPY);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    TextOutW(dc, 33, (32 - extent.cy) / 2, text.c_str(), static_cast<int>(text.size()));
    SelectObject(dc, oldBitmap);
    SelectObject(dc, oldFont);
    SelectObject(source, oldSource);
    DeleteDC(dc);
    DeleteDC(source);
    ReleaseDC(nullptr, screen);
    DeleteObject(pages);
    picture.hotSpot = {25, 20};
    return picture;
}

void TDirView::StartDrag(DWORD button) {
    const auto selected = SelectedItems();
    if (selected.empty() || path_.empty()) return;
    if (OnDDDragDetect) OnDDDragDetect(this, button);
    const HCURSOR oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    std::vector<std::wstring> names;
    for (int i : selected) names.push_back(ItemFullFileName(i));
    // The shell's data object (file names and item identifiers) only where it comes quickly:
    // not for more than 100 items, the recycle folder or a removable drive.
    const bool complete = selected.size() <= 100 && !isRecycleBinView_ && pathDriveType_ != DRIVE_REMOVABLE;
    auto* data = complete ? static_cast<IDataObject*>(ShellObjectOf(selected, IID_IDataObject, hwnd_))
                          : MakeFileListData(names);
    SetCursor(oldCursor);
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = DRAGDROP_S_CANCEL;
    if (data && UseDragImages) {
        // The shell's helper draws the picture along with the mouse; it takes the bitmap.
        IDragSourceHelper* helper = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                       reinterpret_cast<void**>(&helper)))) {
            const DragPicture picture = MakeDragPicture(selected);
            SHDRAGIMAGE image{picture.size, picture.hotSpot, picture.bitmap, picture.transparent};
            if (!picture.bitmap || FAILED(helper->InitializeFromBitmap(&image, data))) {
                if (picture.bitmap) DeleteObject(picture.bitmap);
            }
            helper->Release();
        }
    }
    if (data) {
        TDropSource source;
        source.Button = button;
        source.List = this;
        dragDrop_->FromThisList = true;
        const DWORD allowed = isRecycleBinView_ ? DROPEFFECT_MOVE : DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        result = DoDragDrop(data, &source, allowed, &effect);
        dragDrop_->FromThisList = false;
        data->Release();
    }
    Application::Instance().ProcessMessages();
    SetDropTarget(-1);
    // A target that moved the files itself reports no effect.
    if (result == DRAGDROP_S_DROP && (effect == DROPEFFECT_MOVE || effect == DROPEFFECT_NONE))
        WatchMovedAway(std::move(names));
}

void TDirView::WatchMovedAway(std::vector<std::wstring> names) {
    // For ten seconds, every half second: names gone from the disk leave the list too.
    // The thread keeps its own handle of the list's stop event: the list may go first.
    HANDLE stop = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), stopWatching_, GetCurrentProcess(), &stop, SYNCHRONIZE | EVENT_MODIFY_STATE,
                         FALSE, 0))
        return;
    TDirView* self = this;
    std::thread([names = std::move(names), stop, self]() mutable {
        struct Close {
            HANDLE h;
            ~Close() { CloseHandle(h); }
        } close{stop};
        for (int round = 0; round < 20 && !names.empty(); ++round) {
            if (WaitForSingleObject(stop, 500) == WAIT_OBJECT_0) return;
            std::vector<std::wstring> gone;
            std::erase_if(names, [&](const std::wstring& n) {
                if (GetFileAttributesW(ApiPath(n).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
                gone.push_back(n);
                return true;
            });
            if (gone.empty()) continue;
            const bool ran = GuiCall::Run(
                [self, gone] {
                    for (const auto& n : gone) {
                        const int i = self->FindFileItem(n.substr(n.find_last_of(L"\\/") + 1));
                        if (i < 0) continue;
                        if (self->items_[static_cast<std::size_t>(i)]->Size > 0)
                            self->filesSize_ -= self->items_[static_cast<std::size_t>(i)]->Size;
                        self->ClearSelection();
                        self->items_.erase(self->items_.begin() + i);
                        self->SyncCount();
                    }
                    InvalidateRect(self->hwnd_, nullptr, TRUE);
                },
                stop);
            if (!ran) return;
        }
    }).detach();
}

void TDirView::EnterPressed() {
    const int focused = FocusedItem();
    if (Selected() < 0 && focused >= 0 && items_[static_cast<std::size_t>(focused)]->IsDirectory)
        SetSelected(focused, true);
    if (FocusedItem() < 0) return;
    DoubleClicked();
}

void TDirView::DoubleClicked() {
    if (OnDblClick) OnDblClick();
    ExecuteCurrentFile();
}

void TDirView::DrawParentArrow(const NMLVCUSTOMDRAW& draw) {
    const int index = static_cast<int>(draw.nmcd.dwItemSpec);
    RECT icon{LVIR_ICON, 0, 0, 0};
    if (!ListView_GetItemRect(hwnd_, index, &icon, LVIR_ICON)) return;
    if (viewStyle_ == TViewStyle::vsIcon)
        ImageList_Draw(dirUp32_, 0, draw.nmcd.hdc, icon.left + 8, icon.top + 2, ILD_TRANSPARENT);
    else
        ImageList_Draw(dirUp16_, 0, draw.nmcd.hdc, icon.left - 2, icon.top - 2, ILD_TRANSPARENT);
}

bool TDirView::OwnNotify(const NMHDR& header, LRESULT& result) {
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) item.pszText[0] = 0;
            if (!answerDisplay_ || loading_ || switchingView_ || item.iItem < 0 || item.iItem >= Count()) {
                if (item.mask & LVIF_IMAGE) item.iImage = Facts().fileIcon;
                return true;
            }
            TFileRec& rec = *items_[static_cast<std::size_t>(item.iItem)];
            // Only what is asked for, and icons only for items on screen: some list controls
            // ask for every item of a virtual list in the icon views, and an own icon costs
            // the shell milliseconds. Items off screen get the icon of their kind until shown.
            int image = rec.ImageIndex;
            if ((item.mask & LVIF_IMAGE) && (rec.Empty || rec.IconEmpty)) {
                if (OnScreen(item.iItem)) {
                    FetchDisplayData(rec, true);
                    image = rec.ImageIndex;
                } else {
                    image = rec.IsDirectory ? Facts().folderIcon
                            : rec.FileExt == L"EXE" ? Facts().programIcon
                                                    : Facts().fileIcon;
                }
            }
            if (item.mask & LVIF_TEXT) {
                textBuffer_ = ColumnText(item.iItem, item.iSubItem);
                lstrcpynW(item.pszText, textBuffer_.c_str(), item.cchTextMax);
            }
            if (item.mask & LVIF_IMAGE) item.iImage = image;
            if (item.mask & LVIF_STATE) {
                item.state = (item.state & ~(LVIS_OVERLAYMASK | LVIS_CUT | LVIS_DROPHILITED)) |
                             INDEXTOOVERLAYMASK(rec.OverlayIndex) | (rec.Cut ? LVIS_CUT : 0) |
                             (item.iItem == dropTarget_ ? LVIS_DROPHILITED : 0);
                item.stateMask |= LVIS_OVERLAYMASK | LVIS_CUT | LVIS_DROPHILITED;
            }
            result = 0;
            return true;
        }
        case LVN_ITEMCHANGING: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            bool allow = true;
            changingSeen_ = true;
            if (OnChanging) {
                const TItemChange kind = (change.uChanged & LVIF_STATE)  ? TItemChange::ctState
                                         : (change.uChanged & LVIF_TEXT) ? TItemChange::ctText
                                                                         : TItemChange::ctImage;
                OnChanging(this, change.iItem, kind, allow);
            }
            result = allow ? FALSE : TRUE;
            return true;
        }
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            // Some list controls announce no coming change for virtual lists: tell the owner now.
            if (!changingSeen_ && OnChanging && (change.uChanged & LVIF_STATE)) {
                bool allow = true;
                OnChanging(this, change.iItem, TItemChange::ctState, allow);
            }
            changingSeen_ = false;
            if (!(change.uChanged & LVIF_STATE)) return false;
            const bool nowSelected = (change.uNewState & LVIS_SELECTED) != 0;
            const bool wasSelected = (change.uOldState & LVIS_SELECTED) != 0;
            if (nowSelected == wasSelected) return false;
            if (change.iItem >= 0 && change.iItem < Count() && nowSelected &&
                items_[static_cast<std::size_t>(change.iItem)]->IsParentDir) {
                SetSelected(change.iItem, false);  // the parent entry is never selected
                return true;
            }
            if (nowSelected && change.iItem < 0 && hasParentDir_) {
                // "Select all" takes in the parent entry too; give it back.
                for (int i = 0; i < Count(); ++i)
                    if (items_[static_cast<std::size_t>(i)]->IsParentDir) SetSelected(i, false);
            }
            if (OnSelectItemNew && !loading_) OnSelectItemNew(this, change.iItem, nowSelected);
            return false;
        }
        case LVN_ODSTATECHANGED: {
            const auto& change = reinterpret_cast<const NMLVODSTATECHANGE&>(header);
            if ((change.uNewState & LVIS_SELECTED) && hasParentDir_)
                for (int i = change.iFrom; i <= change.iTo && i < Count(); ++i)
                    if (i >= 0 && items_[static_cast<std::size_t>(i)]->IsParentDir) SetSelected(i, false);
            return false;
        }
        case LVN_ODFINDITEMW: {
            // Typing a name's first letters finds it.
            const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
            result = -1;
            if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || Count() == 0) return true;
            const std::wstring wanted = Upper(find.lvfi.psz);
            for (int n = 0; n < Count(); ++n) {
                const int i = (find.iStart + n) % Count();
                const auto& name = items_[static_cast<std::size_t>(i)]->DisplayName;
                if (name.size() >= wanted.size() && Upper(name.substr(0, wanted.size())) == wanted) {
                    result = i;
                    break;
                }
            }
            return true;
        }
        case LVN_COLUMNCLICK: {
            if (!ColumnClick) return false;
            const auto& click = reinterpret_cast<const NMLISTVIEW&>(header);
            const bool hadSelection = Selected() >= 0;
            sort_ = ColumnClicked(sort_, click.iSubItem);
            SortItems();
            UpdateHeaderSortImages();
            if (OnColumnClick) OnColumnClick();
            if (hadSelection && Selected() >= 0) ListView_EnsureVisible(hwnd_, Selected(), FALSE);
            result = 0;
            return true;
        }
        case NM_DBLCLK:
            DoubleClicked();
            return true;
        case LVN_BEGINDRAG:
            StartDrag(MK_LBUTTON);
            return true;
        case LVN_BEGINRDRAG:
            StartDrag(MK_RBUTTON);
            return true;
        case LVN_BEGINLABELEDITW: {
            const auto& edit = reinterpret_cast<const NMLVDISPINFOW&>(header);
            result = BeginEdit(edit.item.iItem) ? FALSE : TRUE;
            return true;
        }
        case LVN_ENDLABELEDITW: {
            const auto& edit = reinterpret_cast<const NMLVDISPINFOW&>(header);
            EndEdit(edit.item.iItem, edit.item.pszText);
            result = FALSE;  // the caption comes from the record
            return true;
        }
        case NM_CUSTOMDRAW: {
            const auto& draw = reinterpret_cast<const NMLVCUSTOMDRAW&>(header);
            switch (draw.nmcd.dwDrawStage) {
                case CDDS_PREPAINT:
                    result = CDRF_NOTIFYITEMDRAW;
                    return true;
                case CDDS_ITEMPREPAINT: {
                    result = CDRF_DODEFAULT;
                    const int index = static_cast<int>(draw.nmcd.dwItemSpec);
                    if (!answerDisplay_ || index < 0 || index >= Count()) return true;
                    const TFileRec& rec = *items_[static_cast<std::size_t>(index)];
                    if (rec.Attr & FILE_ATTRIBUTE_COMPRESSED) {
                        const_cast<NMLVCUSTOMDRAW&>(draw).clrText = CompressedColor;
                        result |= CDRF_NEWFONT;
                    }
                    if (rec.IsParentDir && Facts().comctl470) result |= CDRF_NOTIFYPOSTPAINT;
                    return true;
                }
                case CDDS_ITEMPOSTPAINT:
                    DrawParentArrow(draw);
                    result = CDRF_DODEFAULT;
                    return true;
                default:
                    result = CDRF_DODEFAULT;
                    return true;
            }
        }
        default:
            return false;
    }
}

LRESULT CALLBACK TDirView::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR data) {
    auto* self = reinterpret_cast<TDirView*>(data);
    bool handled = false;
    try {
        const LRESULT result = self->ListMessage(msg, wParam, lParam, handled);
        if (handled) return result;
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

LRESULT TDirView::ListMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    if (msg == kReEdit) {
        handled = true;
        if (const int item = FocusedItem(); item >= 0) EditCaption(item);
        return 0;
    }
    switch (msg) {
        case WM_GETDLGCODE: {
            // Enter belongs to the list (it opens folders), not to the dialog manager.
            const auto* m = reinterpret_cast<const MSG*>(lParam);
            if (m && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) && m->wParam == VK_RETURN) {
                handled = true;
                return DefSubclassProc(hwnd_, msg, wParam, lParam) | DLGC_WANTMESSAGE;
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0) {
                handled = true;
                EnterPressed();
                return 0;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_RETURN) {
                handled = true;
                ShowProperties();
                return 0;
            }
            return 0;
        case WM_CHAR:
        case WM_SYSCHAR:
            if (wParam == L'\r') handled = true;  // no beep for the Enter handled above
            return 0;
        case WM_CONTEXTMENU:
            handled = true;
            ContextMenuKeyOrClick(lParam);
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (OnKeyUp)
                OnKeyUp(static_cast<WORD>(wParam), GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                        GetKeyState(VK_MENU) < 0);
            return 0;
        case WM_NOTIFY: {
            const auto& hdr = *reinterpret_cast<const NMHDR*>(lParam);
            if (hdr.hwndFrom != ListView_GetHeader(hwnd_)) return 0;
            if (hdr.code == HDN_ENDTRACKW || hdr.code == HDN_ENDTRACKA) {
                handled = true;
                const LRESULT r = DefSubclassProc(hwnd_, msg, wParam, lParam);
                int* widths[] = {&ColWidthName, &ColWidthSize, &ColWidthType, &ColWidthDate, &ColWidthAttr};
                for (int i = 0; i < 5; ++i) *widths[i] = ListView_GetColumnWidth(hwnd_, i);
                UpdateHeaderSortImages();
                return r;
            }
            if (hdr.code == HDN_ENDDRAG) {
                handled = true;
                const LRESULT r = DefSubclassProc(hwnd_, msg, wParam, lParam);
                if (OnHeaderEndDrag) OnHeaderEndDrag();
                return r;
            }
            return 0;
        }
        case WM_DESTROY:
            RevokeDragDrop(hwnd_);
            ClearSelection();
            DeleteAllItems();
            return 0;
        default:
            return 0;
    }
}

}  // namespace zandrel
