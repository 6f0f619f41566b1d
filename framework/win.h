#pragma once
// <windows.h> with the project's settings, and RAII owners for handles.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <string>

namespace zandrel {

struct KernelHandleCloser {
    void operator()(HANDLE h) const noexcept {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<void, KernelHandleCloser>;

struct GdiObjectDeleter {
    void operator()(HGDIOBJ h) const noexcept {
        if (h) DeleteObject(h);
    }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

struct IconDestroyer {
    void operator()(HICON h) const noexcept {
        if (h) DestroyIcon(h);
    }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

// The text of a window or control.
std::wstring WindowText(HWND hwnd);

// The system's message for an error code, without the trailing line break.
std::wstring SystemErrorText(DWORD code);

// True under Wine, whose controls and shell differ from Windows in a few places.
bool RunningOnWine();

}  // namespace zandrel
