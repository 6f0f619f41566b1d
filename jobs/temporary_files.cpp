#include "jobs/temporary_files.h"

#include "framework/files.h"
#include "framework/registry.h"
#include "jobs/job_command.h"

namespace zandrel {
namespace {

// Removes a file, read-only or not; a UPX that was just ended may hold it a moment longer.
bool RemoveFile(const std::wstring& path) {
    const auto api = ApiPath(path);
    if (GetFileAttributesW(api.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesW(api.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (DeleteFileW(api.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        Sleep(20);
    }
    return false;
}

bool ProgramRunning(DWORD id) {
    if (id == GetCurrentProcessId()) return true;
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

TemporaryFiles::TemporaryFiles(std::vector<std::wstring> paths, std::wstring recordKey)
    : paths_(std::move(paths)), recordKey_(std::move(recordKey)) {
    if (paths_.empty() || recordKey_.empty()) return;
    try {
        if (const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey_, true))
            for (const auto& path : paths_) key->WriteString(path, std::to_wstring(GetCurrentProcessId()));
    } catch (const std::exception&) {
        // Unnoted, a copy is still removed by this program; only a crash would leave it.
    }
}

void TemporaryFiles::RemoveAll() {
    std::vector<std::wstring> removed;
    for (const auto& path : paths_)
        if (RemoveFile(path)) removed.push_back(path);
    if (!recordKey_.empty() && !removed.empty()) {
        // One that could not be removed stays noted for the next start.
        if (const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey_, false))
            for (const auto& path : removed) key->DeleteValue(path);
    }
    paths_.clear();
}

void TemporaryFiles::RemoveLeftovers(const std::wstring& recordKey) {
    const auto key = RegistryKey::Open(HKEY_CURRENT_USER, recordKey, false);
    if (!key) return;
    for (const auto& path : key->ValueNames()) {
        try {
            const auto owner = key->ReadString(path).value_or(L"0");
            if (ProgramRunning(static_cast<DWORD>(std::wcstoul(owner.c_str(), nullptr, 10)))) continue;
        } catch (const std::exception&) {
            // Not ours to read: drop the note below, remove only a working copy.
        }
        if (FileNamePart(path).rfind(kPlainNamePrefix, 0) != 0 || RemoveFile(path)) key->DeleteValue(path);
    }
}

}  // namespace zandrel
