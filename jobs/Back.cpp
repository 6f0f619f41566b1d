#include "jobs/Back.h"

#include "zandrel_version.h"

namespace zandrel {

TDosBoxBack::TDosBoxBack(HWND owner) {
    RegisterClassOnce(L"ZandrelDosBoxBack");
    // A system menu is its only border icon.
    CreateHandle(L"ZandrelDosBoxBack", 0, WS_CAPTION | WS_SYSMENU, L"", CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                 CW_USEDEFAULT, owner);
    FormCreate();
}

void TDosBoxBack::FormCreate() { SetWindowTextW(Handle(), L"Orvo Zandrel v" ZANDREL_VERSION_SHORT_W L"...Background"); }

void TDosBoxBack::ShowCovering(HWND over) const {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(over, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    // Its normal size is the work area too: where nothing maximises a window
    // for it (no window manager), it still covers the screen.
    SetWindowPos(Handle(), nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(Handle(), SW_SHOWMAXIMIZED);
    UpdateWindow(Handle());
}

}  // namespace zandrel
