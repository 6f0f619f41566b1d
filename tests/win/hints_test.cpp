// The hints of the tool bar's picture-only buttons, shown as the user sees them: the real
// mouse rests on each button until a tool tip of the program shows, and its text is read.
#include "test_support.h"

#include <commctrl.h>

namespace zandrel::test {
namespace {

class Hints : public MainWindowTest {};

struct ShownTip {
    HWND window = nullptr;
    std::wstring text;
};

BOOL CALLBACK FindShownTip(HWND h, LPARAM data) {
    wchar_t name[64]{};
    GetClassNameW(h, name, 64);
    if (_wcsicmp(name, TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(h)) return TRUE;
    auto* tip = reinterpret_cast<ShownTip*>(data);
    tip->window = h;
    tip->text = WindowText(h);
    return FALSE;
}

// The tool tip this thread shows now, if any.
ShownTip TipShown() {
    ShownTip tip;
    EnumThreadWindows(GetCurrentThreadId(), FindShownTip, reinterpret_cast<LPARAM>(&tip));
    return tip;
}

// Moves the real mouse to `at` (screen pixels) and lets it rest there, messages flowing,
// until a tool tip shows (with `text`, when one is given) or `ms` have passed.
ShownTip RestMouseOn(POINT at, int ms, const std::wstring& text = {}) {
    SetCursorPos(at.x, at.y);
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms);
    ShownTip tip;
    while (GetTickCount64() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
        tip = TipShown();
        if (tip.window && !tip.text.empty() && (text.empty() || tip.text == text)) break;
    }
    return tip;
}

// Takes the mouse away from the window's controls and waits until no tip shows.
void MouseAway(HWND form) {
    RECT r;
    GetWindowRect(form, &r);
    SetCursorPos(r.right + 40, r.bottom + 40);
    for (int i = 0; i < 100 && TipShown().window; ++i) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), PumpMessages();
}

POINT CentreOnScreen(HWND window, RECT r) {
    POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(window, &centre);
    return centre;
}

TEST_F(Hints, EveryPictureButtonOfTheToolBarShowsItsHintUnderTheMouse) {
    MakeWindow();
    SetForegroundWindow(form->Handle());
    PumpMessages();
    struct Expected {
        const char* button;
        POINT at;
        std::wstring hint;
    };
    const HWND bar = form->ToolBar1.Handle();
    RECT favourite;
    GetClientRect(form->btnFavoriteDir.Handle(), &favourite);
    favourite.right /= 2;  // the main part, not the arrow
    const std::vector<Expected> buttons = {
        {"up", CentreOnScreen(bar, form->btnUp1.Rect()), L"Up one folder (Ctrl+U)"},
        {"reload", CentreOnScreen(bar, form->btnRefresh1.Rect()), L"Reload the list (Ctrl+Left arrow)"},
        {"root", CentreOnScreen(bar, form->btnHome.Rect()), L"Root of the drive (Ctrl+Home)"},
        {"view style", CentreOnScreen(bar, form->btnViewStyle.Rect()), L"Small icons or details (Ctrl+S)"},
        {"favourites", CentreOnScreen(form->btnFavoriteDir.Handle(), favourite), L"Add/Goto favorite folder"},
    };
    for (const auto& expected : buttons) {
        MouseAway(form->Handle());
        // A tip shows after the system's hover time (half a second by default); three seconds
        // are what the user waited in vain.
        const ShownTip tip = RestMouseOn(expected.at, 3000);
        EXPECT_TRUE(tip.window) << expected.button << ": no hint showed";
        EXPECT_EQ(tip.text, expected.hint) << expected.button;
        if (tip.window) {
            RECT r;
            GetWindowRect(tip.window, &r);
            EXPECT_GT(r.right - r.left, 20) << expected.button << ": the hint has room for its text";
        }
    }
    // Along the bar, as a hand moves: from the view-style button straight onto the favourites
    // button (a window of its own with a tool tip of its own) and back, each hint in turn.
    MouseAway(form->Handle());
    const auto& view = buttons[3];
    const auto& favourites = buttons[4];
    EXPECT_EQ(RestMouseOn(view.at, 3000).text, view.hint);
    EXPECT_EQ(RestMouseOn(favourites.at, 3000, favourites.hint).text, favourites.hint)
        << "from the tool bar onto the favourites button";
    EXPECT_EQ(RestMouseOn(view.at, 3000, view.hint).text, view.hint) << "and back";
    MouseAway(form->Handle());
}

}  // namespace
}  // namespace zandrel::test
