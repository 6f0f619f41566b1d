// The file list: display data, icons, sorting and custom drawing.
#include "browser/DirView.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "browser/FileSearch.h"
#include "browser/ShellFacts.h"
#include "framework/application.h"

namespace zandrel {

void TDirView::FetchDisplayData(TFileRec& rec, bool fetchIcon) {
    QuietDriveProbes quiet;  // own icons are read from the files, whose medium may have gone
    const auto& facts = Facts();
    const bool ownIcon = OwnIcon(rec.FileExt);
    const std::wstring full = FullName(rec);
    // Outside a sort one question gets the type and the icon of an item about to be shown;
    // a sort by type needs only a file's type, which the shell answers by extension alone
    // (a folder may have a type of its own, so each is still asked).
    if (rec.IconEmpty && (fetchIcon || (!ownIcon && !(typeNames_ && !rec.IsDirectory)))) {
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
    } else if (rec.Empty) {
        rec.TypeName = TypeNameOnly(rec, full);
        if (rec.IconEmpty) rec.ImageIndex = rec.FileExt == L"EXE" ? facts.programIcon : facts.fileIcon;
    }
    // Whichever way it was asked, the same text for a type the shell does not name.
    if (rec.TypeName.empty()) {
        auto pattern = FileTypePattern(primaryLanguage_);
        pattern.replace(pattern.find(L"%s"), 2, rec.FileExt);
        rec.TypeName = pattern;
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
    const bool ok = rec.IsDirectory ? AskShell(listedPath_.c_str(), false, FILE_ATTRIBUTE_DIRECTORY,
                                               SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, info)
                                    : AskShell(full.c_str(), false, FILE_ATTRIBUTE_NORMAL,
                                               SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES, info);
    if (ok && info.szTypeName[0]) type = info.szTypeName;
    else if (ok && rec.IsDirectory) type = Facts().folderType;
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
    // Also in the recycle bin's view: it is listed by a file search like any folder, so a
    // bare name would name nothing (and a check of the selection would drop every item).
    return JoinPath(listedPath_, rec.FileName);
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
    BusyCursor busy;
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
    // Each item's sort key, made once: comparing keys orders as the locale comparison
    // does, at a fraction of its cost per pair (a big folder is compared millions of times).
    std::vector<char> keys(1, '\0');
    for (auto& rec : items_) {
        const std::wstring text = SortText(*rec, order.column);
        const int n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.c_str(), -1, nullptr,
                                    0, nullptr, nullptr, 0);
        rec->NameKey = static_cast<std::uint32_t>(keys.size());
        keys.resize(keys.size() + static_cast<std::size_t>(n > 0 ? n : 1), '\0');
        if (n > 0)
            LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.c_str(), -1,
                          reinterpret_cast<LPWSTR>(keys.data() + rec->NameKey), n, nullptr, nullptr, 0);
    }
    const EntryNameCompare byKey = [&keys](const ListEntry& a, const ListEntry& b) {
        const int c = std::strcmp(keys.data() + a.NameKey, keys.data() + b.NameKey);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    };
    std::stable_sort(items_.begin(), items_.end(), [&](const auto& a, const auto& b) {
        return CompareEntries(*a, *b, order, names, byKey) < 0;
    });
    ClearSelection();
    for (int i = 0; i < Count(); ++i) {
        TFileRec& rec = *items_[static_cast<std::size_t>(i)];
        if (rec.marked_) SetSelected(i, true), rec.marked_ = false;
        if (&rec == focusedRec) SetFocusedItem(i);
    }
    answerDisplay_ = answered;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

HIMAGELIST TDirView::ParentArrowFor(bool large, int size) {
    ParentArrow& arrow = parentArrows_[large ? 1 : 0];
    if (arrow.images && arrow.size == size) return arrow.images;
    if (arrow.images) ImageList_Destroy(arrow.images);
    arrow = {};
    // The picture drawn for 16 (32) pixels, stretched to the icons' size.
    const auto picture = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), large ? L"DIRUP32" : L"DIRUP16",
                                                         IMAGE_BITMAP, size, size, LR_CREATEDIBSECTION));
    if (!picture) return nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, picture);
    const COLORREF transparent = GetPixel(dc, 0, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    arrow.images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 1, 0);
    ImageList_AddMasked(arrow.images, picture, transparent);
    DeleteObject(picture);
    arrow.size = size;
    return arrow.images;
}

void TDirView::DrawParentArrow(const NMLVCUSTOMDRAW& draw) {
    const int index = static_cast<int>(draw.nmcd.dwItemSpec);
    RECT icon{LVIR_ICON, 0, 0, 0};
    if (!ListView_GetItemRect(hwnd_, index, &icon, LVIR_ICON)) return;
    // Placed as it is for icons of 16 (32) pixels, in proportion for bigger ones.
    const bool large = viewStyle_ == TViewStyle::vsIcon;
    int cx = large ? 32 : 16, cy = cx;
    ImageList_GetIconSize(large ? Facts().largeImages : Facts().smallImages, &cx, &cy);
    const HIMAGELIST arrow = ParentArrowFor(large, cx);
    if (!arrow) return;
    if (large)
        ImageList_Draw(arrow, 0, draw.nmcd.hdc, icon.left + MulDiv(8, cx, 32), icon.top + MulDiv(2, cx, 32),
                       ILD_TRANSPARENT);
    else
        ImageList_Draw(arrow, 0, draw.nmcd.hdc, icon.left - MulDiv(2, cx, 16), icon.top - MulDiv(2, cx, 16),
                       ILD_TRANSPARENT);
}


// What the control asks for as it paints: texts and icons of items, and its
// custom drawing (compressed files in their colour, the parent entry's arrow).
bool TDirView::DisplayNotify(const NMHDR& header, LRESULT& result) {
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
                             (dropTarget_.record.get() == &rec ? LVIS_DROPHILITED : 0);
                item.stateMask |= LVIS_OVERLAYMASK | LVIS_CUT | LVIS_DROPHILITED;
            }
            result = 0;
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

}  // namespace zandrel
