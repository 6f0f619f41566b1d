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
