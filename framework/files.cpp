#include "framework/files.h"

#include <vector>

namespace zandrel {

std::wstring ApiPath(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    const std::wstring full = FullPathOf(path);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring FullPathOf(const std::wstring& path) {
    const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return path;
    full.resize(got);
    return full;
}

bool IsExistingFile(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attr = GetFileAttributesW(ApiPath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attr = GetFileAttributesW(ApiPath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FileIdentity(const std::wstring& path) {
    UniqueHandle file(CreateFileW(ApiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.get(), &info)) return {};
    return std::to_wstring(info.dwVolumeSerialNumber) + L":" +
           std::to_wstring((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
    const std::wstring ia = FileIdentity(a);
    return !ia.empty() && ia == FileIdentity(b);
}

std::wstring ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            const auto sep = path.find_last_of(L"\\/");
            if (sep == std::wstring::npos) return {};
            return path.substr(0, sep + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool RunningOnWine() {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

}  // namespace zandrel
