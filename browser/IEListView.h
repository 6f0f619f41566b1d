#pragma once
// The list-view control with what a file list needs of it: a sort column with
// a direction and the header's arrows for it, file masks, the date-time format
// of the user's locale, and the four view styles.
#include <cstdint>
#include <functional>
#include <string>

#include "browser/list_logic.h"
#include "framework/controls.h"

#include <commctrl.h>

namespace zandrel {

enum class TViewStyle : std::uint8_t { vsIcon, vsSmallIcon, vsList, vsReport };

class TIEListView : public Control {
public:
    TIEListView();
    ~TIEListView() override;

    void Create(HWND parent, DesignRect rect, const Scaler& scale);

    const std::wstring& Mask() const { return mask_; }
    virtual void SetMask(const std::wstring& mask);
    int SortColumn() const { return sort_.column; }
    bool SortAscending() const { return sort_.ascending; }
    void SetSortColumn(int column);
    void SetSortAscending(bool ascending);
    bool ShowColumnIcon = true;
    bool ColumnClick = true;
    TDateTimeDisplay DateTimeDisplay() const { return dateTimeDisplay_; }
    void SetDateTimeDisplay(TDateTimeDisplay display);
    const std::wstring& DateTimeFormatText() const { return dateTimeFormat_; }
    TViewStyle ViewStyle() const { return viewStyle_; }
    virtual void SetViewStyle(TViewStyle style);
    // Sets the control's header arrows for the current sort.
    void UpdateHeaderSortImages();
    virtual void SortItems() = 0;

    std::function<void()> OnColumnClick;
    std::function<void()> OnHeaderEndDrag;

protected:
    void RebuildDateTimeFormat();
    virtual void CreateColumns() {}
    SortOrder sort_;
    std::wstring mask_ = L"*.*";
    TDateTimeDisplay dateTimeDisplay_ = TDateTimeDisplay::dtdDateTimeSec;
    TViewStyle viewStyle_ = TViewStyle::vsIcon;
    std::wstring datePart_, dateTimeFormat_;
    HBITMAP arrowDown_ = nullptr, arrowUp_ = nullptr;
};

}  // namespace zandrel
