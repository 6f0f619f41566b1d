#include "browser/IEComboBox.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "browser/IEDriveInfo.h"
#include "browser/ShellFacts.h"
#include "browser/drive_names.h"

namespace zandrel {
namespace {

// The system's small icons, asked for once (not about any one drive: C: need not exist).
HIMAGELIST SmallSystemImages() { return SystemImageLists().first; }

SIZE IconSize() {
    int cx = 16, cy = 16;
    if (const HIMAGELIST images = SmallSystemImages()) ImageList_GetIconSize(images, &cx, &cy);
    return {cx, cy};
}

}  // namespace

// Pixels at the control's DPI of a length designed at 96 dpi.
int TIEDriveComboBox::Px(int designed) const {
    return MulDiv(designed, hwnd_ ? static_cast<int>(GetDpiForWindow(hwnd_)) : 96, 96);
}

int TIEDriveComboBox::TextOffset() const { return Px(2) + IconSize().cx + Px(4); }

void TIEDriveComboBox::Create(HWND parent, DesignRect rect, const Scaler& scale) {
    if (!Table) Table = &TDriveInfo::Instance();
    Control::Create(parent, WC_COMBOBOXW, L"",
                    CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, rect, scale);
    BuildEntries();
}

void TIEDriveComboBox::Place(const Scaler& scale, HFONT font) {
    font_ = font;
    Control::Place(scale, font);
    SetHeights();
}

void TIEDriveComboBox::SetHeights() {
    const HDC dc = GetDC(hwnd_);
    const HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    const int icon = IconSize().cy;
    SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), SelectorEditHeight(tm.tmHeight, icon));
    SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, SelectorItemHeight(tm.tmHeight, icon));
}

std::wstring TIEDriveComboBox::DriveName(wchar_t letter) const {
    auto& table = *Table;
    switch (style_) {
        case TVolumeDisplayStyle::doDisplayName: return table.GetDisplayName(letter);
        case TVolumeDisplayStyle::doLongPrettyName: return table.GetLongPrettyName(letter);
        case TVolumeDisplayStyle::doPrettyName: break;
    }
    return table.GetPrettyName(letter);
}

void TIEDriveComboBox::BuildEntries() {
    SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    auto& table = *Table;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        const auto rec = table.Get(letter);
        if (!rec.Valid || rec.DriveType > 6 || !(driveTypes_ & (1u << rec.DriveType))) continue;
        std::wstring entry(1, letter);
        entry += DriveName(letter);
        AddItem(entry);
    }
    int select = 0;
    for (int i = 0; i < Count(); ++i)
        if (ItemText(i).front() == drive_) {
            select = i;
            break;
        }
    if (Count() > 0) SetItemIndex(select);
}

void TIEDriveComboBox::SetDrive(wchar_t letter) {
    letter = CheckDriveLetter(letter);
    if (letter == drive_) return;
    auto& table = *Table;
    table.ReadDriveStatus(letter, 0);
    const auto rec = table.Get(letter);
    if (!rec.Valid || rec.DriveType > 6 || !(driveTypes_ & (1u << rec.DriveType))) return;
    drive_ = letter;
    for (int i = 0; i < Count(); ++i)
        if (ItemText(i).front() == letter) SetItemIndex(i);
}

void TIEDriveComboBox::SetDriveTypes(TDriveTypes types) {
    if (types == driveTypes_) return;
    driveTypes_ = types;
    // Before the window exists only the types are kept: Create builds the entries once,
    // and touches no drive of a type it does not show.
    if (hwnd_) BuildEntries();
}

void TIEDriveComboBox::SetDisplayStyle(TVolumeDisplayStyle style) {
    if (style == style_) return;
    style_ = style;
    BuildEntries();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

bool TIEDriveComboBox::OwnNotify(WORD code) {
    switch (code) {
        case CBN_SELCHANGE: {
            // A pick by the user: the letter first, then the owner's change handler.
            const int index = ItemIndex();
            if (index >= 0) drive_ = ItemText(index).front();
            if (OnChange) OnChange();
            return true;
        }
        case CBN_DROPDOWN: {
            int widest = 0;
            const HDC dc = GetDC(hwnd_);
            const HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
            for (const auto& item : Items()) {
                SIZE size{};
                GetTextExtentPoint32W(dc, item.c_str(), static_cast<int>(item.size()), &size);
                widest = std::max(widest, static_cast<int>(size.cx));
            }
            SelectObject(dc, old);
            ReleaseDC(hwnd_, dc);
            SendMessageW(hwnd_, CB_SETDROPPEDWIDTH,
                         SelectorDropDownWidth(DropDownFixedWidth, widest, TextOffset(), Px(8)), 0);
            confirmed_ = false;
            return true;
        }
        case CBN_SELENDOK:
            confirmed_ = true;
            return true;
        case CBN_SELENDCANCEL:
            confirmed_ = false;
            return true;
        case CBN_CLOSEUP:
            if (OnCloseUp) OnCloseUp(confirmed_);
            return true;
        default:
            return false;
    }
}

bool TIEDriveComboBox::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return true;
    const HDC dc = item.hDC;
    const bool selected = item.itemState & ODS_SELECTED;
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const auto entry = ItemText(static_cast<int>(item.itemID));
    if (entry.empty()) return true;
    const wchar_t letter = entry.front();
    const SIZE icon = IconSize();
    if (const HIMAGELIST images = SmallSystemImages())
        ImageList_Draw(images, Table->GetImageIndex(letter), dc, item.rcItem.left + Px(2),
                       (item.rcItem.top + item.rcItem.bottom - icon.cy) / 2, ILD_TRANSPARENT);
    RECT text = item.rcItem;
    text.left += TextOffset();
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const auto name = DriveName(letter);
    const bool rtl = GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_RTLREADING;
    DrawTextW(dc, name.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (rtl ? DT_RTLREADING : 0));
    return true;
}

}  // namespace zandrel
