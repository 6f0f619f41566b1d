#include "browser/IEListView.h"

namespace zandrel {
namespace {

HBITMAP LoadPicture(const wchar_t* name) {
    return static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_CREATEDIBSECTION));
}

}  // namespace

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

}  // namespace zandrel
