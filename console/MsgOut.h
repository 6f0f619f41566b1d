#pragma once
// The console message window: a read-only memo, white on black, that shows
// the captured output of UPX. One instance lives for the whole program.
#include <string>

#include "framework/controls.h"
#include "framework/window.h"

namespace zandrel {

class TMessageOutput : public Window {
public:
    static constexpr int kDesignLeft = 182, kDesignTop = 63;
    static constexpr int kClientWidth = 571, kClientHeight = 469, kBorderWidth = 3;

    // Created hidden; takes its stored position (no range check).
    explicit TMessageOutput(HWND owner);

    Edit memOutput;

    void Clear() const { memOutput.SetText(L""); }
    void AppendLine(const std::wstring& line) const;
    void ShowNonModal() const;
    void Hide() const { ShowWindow(Handle(), SW_HIDE); }
    bool Showing() const { return IsWindowVisible(Handle()) != FALSE; }
    // The close request: stores the position, then hides.
    void Close() const { SendMessageW(Handle(), WM_CLOSE, 0, 0); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout();
    void FormCreate();
    void FormCloseQuery();

    Scaler scale_;
    UniqueFont font_;
    HBRUSH black_ = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
};

}  // namespace zandrel
