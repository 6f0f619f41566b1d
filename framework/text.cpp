#include "framework/text.h"

#include "framework/win.h"

namespace zandrel {

std::wstring FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return wide;
}

bool SurvivesCodePage(const std::wstring& text, UINT codePage) {
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    // No best-fit mapping (Omega for a Greek capital omega) and no default
    // character; UTF-8 takes neither setting, and fails on what it cannot hold.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = utf8 ? nullptr : &usedDefault;
    const int bytes = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, used);
    if (bytes <= 0 || usedDefault) return false;
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), length, ansi.data(), bytes, nullptr, used);
    if (usedDefault) return false;
    const int chars = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(), bytes, nullptr, 0);
    if (chars <= 0) return false;
    std::wstring back(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, ansi.data(), bytes, back.data(), chars);
    return back == text;
}

}  // namespace zandrel
