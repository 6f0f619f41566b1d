#include "framework/window.h"

#include <exception>

#include "framework/application.h"
#include "framework/error.h"

namespace zandrel {

Window::~Window() { Destroy(); }

void Window::Destroy() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

void Window::RegisterClassOnce(const wchar_t* name, UINT style, HBRUSH background, HICON icon) {
    WNDCLASSEXW wc{};
    const HINSTANCE module = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(module, name, &wc)) return;
    wc = {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = Procedure;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background ? background : GetSysColorBrush(COLOR_BTNFACE);
    wc.hIcon = icon;
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc)) throw Error(L"Cannot register the window class " + std::wstring(name) + L": " + SystemErrorText(GetLastError()));
}

void Window::CreateHandle(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& caption, int x,
                          int y, int w, int h, HWND parent, HMENU menu) {
    const HWND made = CreateWindowExW(exStyle, className, caption.c_str(), style, x, y, w, h, parent, menu,
                                      GetModuleHandleW(nullptr), this);
    if (!made) throw Error(L"Cannot create a window of class " + std::wstring(className) + L": " + SystemErrorText(GetLastError()));
    hwnd_ = made;
}

void RunModal(HWND window, HWND owner, HWND focus, const std::function<bool()>& done) {
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    if (focus) SetFocus(focus);
    MSG msg;
    while (!done() && IsWindow(window)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 0);  // for the main loop
            break;
        }
        if (IsDialogMessageW(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The owner first: hiding the active window hands activation to an enabled one.
    if (owner && ownerWasEnabled) EnableWindow(owner, TRUE);
    if (IsWindow(window)) ShowWindow(window, SW_HIDE);
    if (owner) SetActiveWindow(owner);
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return Default(msg, wParam, lParam); }

namespace {

// Hands a message (a MSG given as the parameter) on to one child window.
BOOL CALLBACK PassOn(HWND child, LPARAM message) {
    const auto* m = reinterpret_cast<const MSG*>(message);
    SendMessageW(child, m->message, m->wParam, m->lParam);
    return TRUE;
}

}  // namespace

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        // A window of our class made without an object behaves as a plain window.
        if (auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams)) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // Nothing may reach the object once its window is gone.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    // A long piece of work keeps its wait cursor while the mouse moves meanwhile.
    if (msg == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT && Application::Instance().Busy()) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    }
    // Only top-level windows hear that the system's colours changed: their controls must too.
    if (msg == WM_SYSCOLORCHANGE && !(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD)) {
        MSG change{hwnd, msg, wParam, lParam, 0, {}};
        EnumChildWindows(hwnd, PassOn, reinterpret_cast<LPARAM>(&change));
    }
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e);
    } catch (...) {
        Application::Instance().ShowException(Error(L"Unexpected error."));
    }
    return 0;
}

bool FocusMemory::OnActivate(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) last_ = focus;
        return false;
    }
    if (HIWORD(wParam)) return false;  // activated while minimised
    const bool usable = last_ && IsChild(window, last_) && IsWindowVisible(last_) && IsWindowEnabled(last_);
    const HWND target = usable ? last_ : GetNextDlgTabItem(window, nullptr, FALSE);
    if (!target) return false;
    SetFocus(target);
    return true;
}

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : L"Error " + std::to_wstring(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

}  // namespace zandrel
