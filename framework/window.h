#pragma once
// Window base: keeps `this` in the window's user data, dispatches messages to
// a virtual handler and stops every exception at the window procedure, where
// the application's standard error report shows it.
#include <functional>
#include <string>

#include "framework/win.h"

namespace zandrel {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return hwnd_; }
    void Destroy();

    // Registers a window class of the program's own (once per name).
    static void RegisterClassOnce(const wchar_t* name, UINT style = CS_DBLCLKS, HBRUSH background = nullptr,
                                  HICON icon = nullptr);

protected:
    void CreateHandle(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& caption, int x,
                      int y, int w, int h, HWND parent, HMENU menu = nullptr);
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcW(hwnd_, msg, wParam, lParam); }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// Shows `window` (the focus on `focus`) and handles messages until `done()` says so: the
// owner is disabled meanwhile, the dialog keys move between the window's controls, and a quit
// request is handed on to the main loop. Then the window hides and the owner is active again.
void RunModal(HWND window, HWND owner, HWND focus, const std::function<bool()>& done);

// Gives the keyboard focus back to the control that had it when the window was
// last active, or, the first time, to the first control in tab order. A window
// passes its WM_ACTIVATE here; true when the focus was placed.
class FocusMemory {
public:
    bool OnActivate(HWND window, WPARAM wParam);
    void Forget() { last_ = nullptr; }

private:
    HWND last_ = nullptr;
};

}  // namespace zandrel
