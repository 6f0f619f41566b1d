#include "jobs/temporary_files.h"

#include "framework/files.h"
#include "framework/registry.h"
#include "jobs/file_safety.h"

namespace zandrel {
namespace {

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// When a process started (0 when that cannot be read): with its id it tells
// the process apart from a later one that got the same id.
std::uint64_t StartTime(HANDLE process) {
    FILETIME created{}, ended{}, kernel{}, user{};
    return GetProcessTimes(process, &created, &ended, &kernel, &user) ? Ticks(created) : 0;
}

// A note: "<process id> <its start time>", and "|<file>" for a private copy of that file.
struct CopyNote {
    DWORD owner = 0;
    std::uint64_t started = 0;
    std::wstring originalOf;
};

std::wstring NoteText(const std::wstring& originalOf) {
    std::wstring text = std::to_wstring(GetCurrentProcessId()) + L" " + std::to_wstring(StartTime(GetCurrentProcess()));
    return originalOf.empty() ? text : text + L"|" + originalOf;
}

CopyNote ReadNote(const std::wstring& text) {
    CopyNote note;
    wchar_t* end = nullptr;
    note.owner = static_cast<DWORD>(std::wcstoul(text.c_str(), &end, 10));
    if (end && *end == L' ') note.started = std::wcstoull(end + 1, &end, 10);
    if (end && *end == L'|') note.originalOf = end + 1;
    return note;
}

// Whether the program that made a note may still be running: a process that
// cannot be looked at (another user's) may be, and counts as running.
bool MayStillRun(const CopyNote& note) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, note.owner));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
    const std::uint64_t started = StartTime(process.get());
    return note.started == 0 || started == 0 || started == note.started;
}

// A private copy whose program is gone: true when it is dealt with (and its note may go).
bool SettlePrivateCopy(const std::wstring& copy, const std::wstring& original) {
    if (!IsExistingFile(copy)) return true;
    if (IsExistingFile(original) && SameFileContent(copy, original)) return RemoveFileAt(copy, Removal::ReadOnlyToo);
    if (!IsExistingFile(original))
        return MoveFileExW(ApiPath(copy).c_str(), ApiPath(original).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    for (unsigned n = 1; n <= 99; ++n) {
        const std::wstring name = BackupName(original, n);
        if (GetFileAttributesW(ApiPath(name).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        return MoveFileExW(ApiPath(copy).c_str(), ApiPath(name).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    return false;
}

}  // namespace

bool TemporaryFiles::Note(const std::wstring& recordKey, const std::wstring& path, const std::wstring& originalOf) {
    try {
        const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey, true);
        if (!key) return false;
        key->WriteString(path, NoteText(originalOf));
        return true;
    } catch (const std::exception&) {
        return false;  // unnoted, a copy is still removed by this program; only a crash would leave it
    }
}

bool TemporaryFiles::IsNoted(const std::wstring& recordKey, const std::wstring& path) {
    try {
        const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey, false);
        return key && key->ReadString(path).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

void TemporaryFiles::Forget(const std::wstring& recordKey, const std::wstring& path) {
    try {
        if (const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey, false)) key->DeleteValue(path);
    } catch (const std::exception&) {
    }
}

TemporaryFiles::TemporaryFiles(std::vector<std::wstring> paths, std::wstring recordKey, std::wstring originalOf)
    : paths_(std::move(paths)), recordKey_(std::move(recordKey)), originalOf_(std::move(originalOf)) {
    if (recordKey_.empty()) return;
    for (const auto& path : paths_) Note(recordKey_, path, originalOf_);
}

void TemporaryFiles::RemoveAll() {
    std::vector<std::wstring> removed;
    for (const auto& path : paths_)
        if (RemoveFileAt(path, Removal::Patiently)) removed.push_back(path);
    if (!recordKey_.empty() && !removed.empty()) {
        // One that could not be removed stays noted for the next start.
        if (const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey_, false))
            for (const auto& path : removed) key->DeleteValue(path);
    }
    paths_.clear();
}

void TemporaryFiles::Keep() { paths_.clear(); }

void TemporaryFiles::RemoveLeftovers(const std::wstring& recordKey) {
    const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey, false);
    if (!key) return;
    for (const auto& path : key->ValueNames()) {
        CopyNote note;
        try {
            note = ReadNote(key->ReadString(path).value_or(L"0"));
        } catch (const std::exception&) {
            continue;  // not ours to read: left as it is
        }
        if (MayStillRun(note)) continue;
        // A drive or share that is not there now: the file may be; ask again next time.
        if (!IsExistingFolder(FolderPart(path))) continue;
        const bool plainName = HasPlainTempName(path);
        bool settled = true;
        if (plainName) settled = note.originalOf.empty() ? RemoveFileAt(path, Removal::ReadOnlyToo) : SettlePrivateCopy(path, note.originalOf);
        if (settled) key->DeleteValue(path);
    }
}

}  // namespace zandrel
