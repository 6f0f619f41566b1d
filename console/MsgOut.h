#pragma once
// The console message window: a read-only memo, white on black, that shows
// the captured output of UPX. One instance lives for the whole program.
#include <functional>
#include <string>

#include "framework/controls.h"
#include "framework/window.h"

namespace zandrel {

class TMessageOutput : public Window {
public:
    static constexpr int kDesignLeft = 182, kDesignTop = 63;
    static constexpr int kClientWidth = 571, kClientHeight = 469, kBorderWidth = 3;

    // Created hidden, owned by the application's window like the main window,
    // so either can come to the front; takes its stored position (no range check).
    TMessageOutput();

    Edit memOutput;

    void Clear();
    void AppendLine(const std::wstring& line);
    // Puts the text in place of the last line (a line that has grown).
    void ReplaceLastLine(const std::wstring& line);
    // Lines reach the memo in batches (a short timer), so that a flood of
    // output costs a few hundred edits, not one per line. This writes the rest now.
    void Flush();
    // The least time between two edits of the memo (40 ms unless set): lines that come
    // sooner wait for the next edit. Under Wine an edit of the visible memo costs about
    // 9 ms, however much it adds, so a batch, whose files end several times a second,
    // shows its blocks once a second. Setting it again lets waiting lines go at the new pace.
    void SetEditPace(unsigned ms);
    void ShowNonModal() const;
    void Hide() const { ShowWindow(Handle(), SW_HIDE); }
    bool Showing() const { return IsWindowVisible(Handle()) != FALSE; }
    // Raised when the user closes the window (its close button, Escape); a batch stops then.
    std::function<void()> OnClosed;
    // The close request: stores the position, then hides.
    void Close() const { SendMessageW(Handle(), WM_CLOSE, 0, 0); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout();
    void FormCreate();
    void FormCloseQuery();
    void ScheduleFlush();

    bool hasLines_ = false;
    std::size_t shown_ = 0;          // characters already in the memo
    std::wstring tail_;              // text waiting for the next batch
    std::size_t lastLineStart_ = 0;  // where the last line begins in the whole text
    ULONGLONG lastFlushTick_ = 0;
    unsigned pace_ = 40;
    Scaler scale_;
    UniqueFont font_;
    FocusMemory focus_;
    HBRUSH black_ = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
};

}  // namespace zandrel
