#include "browser/ShellFacts.h"

#include <atomic>

#include <shlwapi.h>

#include <tuple>

namespace zandrel {

std::pair<HIMAGELIST, HIMAGELIST> SystemImageLists() {
    static const auto lists = [] {
        SHFILEINFOW info{};
        const auto small = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
            L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
        const auto large = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoW(L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES));
        return std::pair{small, large};
    }();
    return lists;
}

const ShellFacts& Facts() {
    static const ShellFacts facts = [] {
        ShellFacts f;
        wchar_t buffer[MAX_PATH + 1];
        const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
        f.windowsDir = std::wstring(buffer, n);
        if (!f.windowsDir.empty() && f.windowsDir.back() != L'\\') f.windowsDir += L'\\';
        const DWORD t = GetTempPathW(MAX_PATH, buffer);
        f.tempDir = std::wstring(buffer, t);
        if (!f.tempDir.empty() && f.tempDir.back() != L'\\') f.tempDir += L'\\';

        SHFILEINFOW info{};
        std::tie(f.smallImages, f.largeImages) = SystemImageLists();
        const std::wstring windows = f.windowsDir.substr(0, f.windowsDir.size() - 1);
        if (SHGetFileInfoW(windows.c_str(), FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES)) {
            f.folderType = info.szTypeName;
            f.folderIcon = info.iIcon;
        }
        if (SHGetFileInfoW(windows.c_str(), FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_OPENICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            f.openFolderIcon = info.iIcon;
        if (SHGetFileInfoW(L"$#)(.#$)", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            f.fileIcon = info.iIcon;
        if (SHGetFileInfoW(L".COM", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
            f.programIcon = info.iIcon;
        // Common controls 4.70 or newer draw the parent entry's arrow.
        if (const HMODULE comctl = GetModuleHandleW(L"comctl32.dll")) {
            using GetVersion = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
            if (auto get = reinterpret_cast<GetVersion>(
                    reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")))) {
                DLLVERSIONINFO v{sizeof v, 0, 0, 0, 0};
                if (SUCCEEDED(get(&v))) f.comctl470 = ((v.dwMajorVersion << 16) | v.dwMinorVersion) > ((4u << 16) | 69);
            }
        }
        return f;
    }();
    return facts;
}

namespace {
std::atomic<long> questionsAsked{0};
}

long ShellQuestionsAsked() { return questionsAsked.load(); }

bool AskShell(const void* item, bool isPidl, DWORD attributes, UINT flags, SHFILEINFOW& info) {
    ++questionsAsked;
    flags |= isPidl ? SHGFI_PIDL : 0u;
    return SHGetFileInfoW(static_cast<const wchar_t*>(item), attributes, &info, sizeof info, flags) != 0;
}

bool OwnIcon(const std::wstring& ext) { return ext.size() == 3 && std::wstring(kOwnIconExts).find(ext) != std::wstring::npos; }


}  // namespace zandrel
