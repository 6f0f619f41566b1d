#include "jobs/job_host.h"

#include "framework/files.h"

namespace zandrel {

bool WinJobHost::FileExists(const std::wstring& path) { return IsExistingFile(path); }

bool WinJobHost::FolderExists(const std::wstring& path) { return IsExistingFolder(path); }

bool WinJobHost::SameFile(const std::wstring& a, const std::wstring& b) { return IsSameFile(a, b); }

bool WinJobHost::CopyFileReplacing(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(ApiPath(from).c_str(), ApiPath(to).c_str(), FALSE) != FALSE;
}

bool WinJobHost::RemoveFile(const std::wstring& path) { return ::DeleteFileW(ApiPath(path).c_str()) != FALSE; }

bool WinJobHost::SetArchiveAttributeOnly(const std::wstring& path) {
    return SetFileAttributesW(ApiPath(path).c_str(), FILE_ATTRIBUTE_ARCHIVE) != FALSE;
}

std::wstring WinJobHost::ShortPath(const std::wstring& path) {
    const auto api = ApiPath(path);
    const DWORD need = GetShortPathNameW(api.c_str(), nullptr, 0);
    if (need == 0) return path;
    std::wstring result(need, L'\0');
    const DWORD got = GetShortPathNameW(api.c_str(), result.data(), need);
    if (got == 0 || got >= need) return path;
    result.resize(got);
    if (api != path && result.rfind(L"\\\\?\\", 0) == 0) {
        // A command line cannot carry the \\?\ form of the program path.
        result.erase(0, 4);
        if (result.rfind(L"UNC\\", 0) == 0) result.replace(0, 3, L"\\");
    }
    return result;
}

void WinJobHost::ShowError(const std::wstring& text) { ShowErrorBox(dialogs_, owner_, text); }

bool WinJobHost::AskGoOnWithoutBackup(const std::wstring& text) {
    dialogs_.Beep();
    return dialogs_.Box(owner_, text, BoxKind::Error, BoxButtons::YesNo) == BoxAnswer::Yes;
}

bool WinJobHost::AskReplace(const std::wstring& text) {
    return dialogs_.Box(owner_, text, BoxKind::Confirm, BoxButtons::YesCancel) == BoxAnswer::Yes;
}

}  // namespace zandrel
