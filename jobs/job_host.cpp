#include "jobs/job_host.h"

#include <algorithm>
#include <string>

#include "framework/files.h"
#include "framework/names.h"
#include "jobs/temporary_files.h"

namespace zandrel {

bool WinJobHost::FileExists(const std::wstring& path) { return IsExistingFile(path); }

bool WinJobHost::FolderExists(const std::wstring& path) { return IsExistingFolder(path); }

Sameness WinJobHost::CompareFiles(const std::wstring& a, const std::wstring& b) {
    const auto same = SameFileOnDisk(a, b);
    return !same ? Sameness::Unknown : *same ? Sameness::Same : Sameness::Different;
}

bool WinJobHost::SameContent(const std::wstring& a, const std::wstring& b) { return SameFileContent(a, b); }

std::string WinJobHost::ReadBytes(const std::wstring& path, std::uint64_t offset, std::size_t count) {
    return ReadFileBytes(path, offset, count);
}

std::optional<FileStamp> WinJobHost::Stamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    stamp.writeTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

std::uint32_t WinJobHost::Attributes(const std::wstring& path) { return GetFileAttributesW(ApiPath(path).c_str()); }

bool WinJobHost::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    return SetFileAttributesW(ApiPath(path).c_str(), attributes) != FALSE;
}

bool WinJobHost::RemoveFile(const std::wstring& path) {
    // Removed by this call: a file that was not there is not reported as removed.
    const bool removed = GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES && RemoveFileAt(path);
    if (removed && !recordKey_.empty() && HasPlainTempName(path)) TemporaryFiles::Forget(recordKey_, path);
    return removed;
}

bool WinJobHost::SetArchiveAttributeOnly(const std::wstring& path) {
    return SetFileAttributesW(ApiPath(path).c_str(), FILE_ATTRIBUTE_ARCHIVE) != FALSE;
}

namespace {

// A path through GetShortPathNameW or GetLongPathNameW; the path itself when
// the system has no answer. The \\?\ form a long path needed for the call is
// taken off again: command lines cannot carry it.
std::wstring ConvertedPath(const std::wstring& path, DWORD(WINAPI* convert)(LPCWSTR, LPWSTR, DWORD)) {
    const auto api = ApiPath(path);
    const DWORD need = convert(api.c_str(), nullptr, 0);
    if (need == 0) return path;
    std::wstring result(need, L'\0');
    const DWORD got = convert(api.c_str(), result.data(), need);
    if (got == 0 || got >= need) return path;
    result.resize(got);
    if (api != path && result.rfind(L"\\\\?\\", 0) == 0) {
        result.erase(0, 4);
        if (result.rfind(L"UNC\\", 0) == 0) result.replace(0, 3, L"\\");
    }
    return result;
}

}  // namespace

std::wstring WinJobHost::ShortPath(const std::wstring& path) {
    return shortNames_ ? ConvertedPath(path, GetShortPathNameW) : path;
}

std::wstring WinJobHost::FullPath(const std::wstring& path) { return FullPathOf(path); }

std::wstring WinJobHost::LongPath(const std::wstring& path) { return ConvertedPath(path, GetLongPathNameW); }

std::wstring WinJobHost::LongName(const std::wstring& path) {
    // A search by the exact name: wildcards would find some other file (the name only:
    // a \\?\ prefix holds a '?').
    if (FileNamePart(path).find_first_of(L"*?") != std::wstring::npos) return {};
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(ApiPath(path).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return {};
    FindClose(search);
    return found.cFileName;
}

bool WinJobHost::SurvivesAnsiCodePage(const std::wstring& text) { return SurvivesCodePage(text, GetACP()); }

std::wstring WinJobHost::NewTempName(const std::wstring& folder, const std::wstring& sourceName) {
    // One count for the whole program: two jobs never pick the same name.
    static unsigned counter = 0;
    return JoinPath(folder, PlainTempName(GetCurrentProcessId(), ++counter, sourceName));
}

std::wstring WinJobHost::FreeTempName(const std::wstring& folder, const std::wstring& sourceName) {
    for (int tries = 0; tries < 1000; ++tries) {
        const auto path = NewTempName(folder, sourceName);
        if (GetFileAttributesW(ApiPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) return path;
    }
    return {};  // never a name that is taken: its file would be removed with the job's
}

CopyResult WinJobHost::CopyFileNew(const std::wstring& from, const std::wstring& to) {
    // Noted before it exists, so a copy cut short by a crash is known as ours; a name that a
    // note already claims (a dead start's file, maybe the only original of another) is left
    // alone, note and all.
    bool noted = false;
    if (!recordKey_.empty() && HasPlainTempName(to)) {
        if (TemporaryFiles::IsNoted(recordKey_, to)) return CopyResult::NameTaken;
        noted = TemporaryFiles::Note(recordKey_, to);
    }
    if (CopyFileW(ApiPath(from).c_str(), ApiPath(to).c_str(), TRUE)) return CopyResult::Copied;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        if (noted) TemporaryFiles::Forget(recordKey_, to);
        return CopyResult::NameTaken;
    }
    // What the failed copy left is ours (read-only when the source is); its note stays
    // while it cannot be removed, for the next start.
    if (RemoveFileAt(to, Removal::ReadOnlyToo) && noted) TemporaryFiles::Forget(recordKey_, to);
    return CopyResult::Failed;
}

bool WinJobHost::MoveReplacing(const std::wstring& from, const std::wstring& to) {
    const bool moved = MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (moved && !recordKey_.empty() && HasPlainTempName(from)) TemporaryFiles::Forget(recordKey_, from);
    return moved;
}

bool WinJobHost::MoveNew(const std::wstring& from, const std::wstring& to) {
    const bool moved = MoveFileExW(ApiPath(from).c_str(), ApiPath(to).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    if (moved && !recordKey_.empty() && HasPlainTempName(from)) TemporaryFiles::Forget(recordKey_, from);
    return moved;
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
