#include "framework/application.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>

#include "framework/error.h"
#include "framework/gui_call.h"

namespace zandrel {

Application& Application::Instance() {
    static Application app;
    return app;
}

void Application::Initialize() {
    module_ = GetModuleHandleW(nullptr);
    // Never load a DLL from the current folder or the PATH.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The shell's item identifiers and, later, drag-and-drop need OLE on this thread.
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_COOL_CLASSES |
                                             ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&icc);
    GuiCall::Initialize();
}

void Application::SetTitle(std::wstring title) {
    title_ = std::move(title);
    if (hwnd_) SetWindowTextW(hwnd_, title_.c_str());
}

HWND Application::Handle() {
    if (hwnd_ && IsWindow(hwnd_)) return hwnd_;
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZandrelApplication";
    RegisterClassW(&wc);
    // No size, in the middle of the screen: only its task-bar button is seen.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, title_.c_str(),
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0, nullptr,
                            nullptr, wc.hInstance, nullptr);
    return hwnd_;
}

void Application::ShowTaskBarEntry() {
    if (!IsWindowVisible(Handle())) ShowWindow(Handle(), SW_SHOWNA);
}

void Application::SetIcons(HICON big, HICON smallIcon) {
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

// The program's windows go with their owner and come back with it.
void Application::Minimize() {
    const HWND app = Handle();
    hiddenByMinimize_.clear();
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindow(w, GW_OWNER) == app && IsWindowVisible(w)) hiddenByMinimize_.push_back(w);
    for (const HWND w : hiddenByMinimize_) ShowWindow(w, SW_HIDE);
    ShowWindow(app, SW_MINIMIZE);
}

void Application::Restore() {
    const HWND app = Handle();
    ShowWindow(app, SW_RESTORE);
    // Bottom first, so they stand in the order they stood in.
    for (auto it = hiddenByMinimize_.rbegin(); it != hiddenByMinimize_.rend(); ++it)
        if (IsWindow(*it)) ShowWindow(*it, SW_SHOWNA);
    hiddenByMinimize_.clear();
    const HWND last = GetLastActivePopup(app);
    SetForegroundWindow(last && last != app ? last : mainWindow_);
}

LRESULT CALLBACK Application::WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SETFOCUS: {
            // Activated through the task bar or Alt+Tab: the window used last takes over.
            const HWND last = GetLastActivePopup(hwnd);
            if (last && last != hwnd && IsWindowVisible(last) && IsWindowEnabled(last)) SetActiveWindow(last);
            return 0;
        }
        case WM_SYSCOMMAND:
            // From the task bar: the whole program goes and comes back.
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                Instance().Minimize();
                return 0;
            }
            if ((wParam & 0xFFF0) == SC_RESTORE && IsIconic(hwnd)) {
                Instance().Restore();
                return 0;
            }
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        case WM_CLOSE:
            // Closing the task-bar entry closes the main window, as its own close button would.
            if (const HWND main = Instance().mainWindow_; main && IsWindow(main)) PostMessageW(main, WM_CLOSE, 0, 0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void Application::AddDialogWindow(HWND hwnd) { dialogWindows_.push_back(hwnd); }

void Application::RemoveDialogWindow(HWND hwnd) { std::erase(dialogWindows_, hwnd); }

bool Application::Dispatch(MSG& msg) {
    if (msg.message == WM_QUIT) return false;
    for (HWND dlg : dialogWindows_) {
        if (IsWindow(dlg) && (msg.hwnd == dlg || IsChild(dlg, msg.hwnd)) && IsDialogMessageW(dlg, &msg))
            return true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

int Application::Run() {
    MSG msg{};
    while (!terminated_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) break;
        Dispatch(msg);
    }
    terminated_ = true;
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

bool Application::ProcessMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!Dispatch(msg)) {
            terminated_ = true;
            return false;
        }
    }
    return true;
}

void Application::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

BusyCursor::BusyCursor() {
    auto& app = Application::Instance();
    const HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if (app.busy_++ == 0) app.cursorBeforeBusy_ = before;
}

BusyCursor::~BusyCursor() {
    auto& app = Application::Instance();
    if (--app.busy_ > 0) return;
    SetCursor(app.cursorBeforeBusy_);
    // The right cursor is the one of the window now under the mouse: ask it, as a move would.
    POINT at;
    if (!GetCursorPos(&at)) return;
    const HWND under = WindowFromPoint(at);
    if (!under || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) return;
    const auto hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
}

void Application::ShowException(const std::exception& e) {
    std::wstring text;
    if (const auto* err = dynamic_cast<const Error*>(&e))
        text = err->Message();
    else {
        const char* what = e.what();
        text.assign(what, what + strlen(what));
    }
    Dialogs().ReportException(text);
}

}  // namespace zandrel
