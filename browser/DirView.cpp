// The file list: the control, its properties and its items.
#include "browser/DirView.h"

#include "browser/DragDropFilesEx.h"
#include "browser/FileSearch.h"
#include "browser/ShellFacts.h"

namespace zandrel {

TDirView::TDirView() {
    viewStyle_ = TViewStyle::vsIcon;
    primaryLanguage_ = PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID()));
    RebuildDateTimeFormat();
}

TDirView::~TDirView() {
    *alive_ = false;
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
    for (auto& arrow : parentArrows_)
        if (arrow.images) ImageList_Destroy(arrow.images);
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
    if (loading_) {
        // Switched when the load ends, so that the view follows its button.
        pendingView_ = style;
        return;
    }
    pendingView_.reset();
    switchingView_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{switchingView_};
    TIEListView::SetViewStyle(style);
}

void TDirView::ApplyPendingView() {
    if (!pendingView_) return;
    const TViewStyle style = *pendingView_;
    SetViewStyle(style);
}

// ---------------------------------------------------------------------------
// Items

const TFileRec* TDirView::Item(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

TDirView::HeldItem TDirView::Hold(int index) const {
    if (index < 0 || index >= Count()) return {};
    return {items_[static_cast<std::size_t>(index)], listedPath_};
}

int TDirView::IndexOf(const HeldItem& held) const {
    if (!held || held.folder != listedPath_) return -1;
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<std::size_t>(i)] == held.record) return i;
    return -1;
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

bool TDirView::OwnNotify(const NMHDR& header, LRESULT& result) {
    return DisplayNotify(header, result) || InputNotify(header, result);
}

}  // namespace zandrel
