#include "jobs/Back.h"

namespace zandrel {

TDosBoxBack::TDosBoxBack(HWND owner) {
    RegisterClassOnce(L"ZandrelDosBoxBack");
    // A system menu is its only border icon.
    CreateHandle(L"ZandrelDosBoxBack", 0, WS_CAPTION | WS_SYSMENU, L"", CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                 CW_USEDEFAULT, owner);
    FormCreate();
}

void TDosBoxBack::FormCreate() { SetWindowTextW(Handle(), L"Orvo Zandrel v1.0...Background"); }

}  // namespace zandrel
