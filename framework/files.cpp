#include "framework/files.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

#include "framework/names.h"

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

std::int64_t FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

namespace {

// A handle that asks nothing of the file but its facts, and lets others do anything.
UniqueHandle OpenForFacts(const std::wstring& path) {
    HANDLE h = CreateFileW(ApiPath(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// The volume and the file's id: the 128-bit id where the system has it (the
// 64-bit index can repeat on network redirectors and ReFS), else the index.
std::optional<std::wstring> IdentityOf(HANDLE file) {
    FILE_ID_INFO id{};
    const auto none = [](const FILE_ID_128& id) {
        for (const auto byte : id.Identifier)
            if (byte) return false;
        return true;
    };
    if (GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
        if (none(id.FileId)) return std::nullopt;  // a file system that numbers no file
        std::wstring text = std::to_wstring(id.VolumeSerialNumber) + L":";
        static const wchar_t digits[] = L"0123456789abcdef";
        for (const auto byte : id.FileId.Identifier) text += {digits[byte >> 4], digits[byte & 0xF]};
        return text;
    }
    // Without 128-bit ids (older systems), only file systems whose 64-bit numbers are
    // unique on their volume are trusted; elsewhere (network redirectors) it cannot be told.
    wchar_t system[MAX_PATH + 1] = {};
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH)) return std::nullopt;
    const std::wstring name = system;
    if (name != L"NTFS" && name != L"FAT" && name != L"FAT32" && name != L"exFAT") return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
    return std::to_wstring(info.dwVolumeSerialNumber) + L"/" +
           std::to_wstring((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

std::wstring FileIdentity(const std::wstring& path) {
    const UniqueHandle file = OpenForFacts(path);
    if (!file) return {};
    return IdentityOf(file.get()).value_or(std::wstring());
}

std::optional<bool> SameFileOnDisk(const std::wstring& a, const std::wstring& b) {
    // Both stay open while they are compared: an id freed by one file cannot be taken by another meanwhile.
    const UniqueHandle first = OpenForFacts(a);
    const DWORD firstError = first ? 0 : GetLastError();
    const UniqueHandle second = OpenForFacts(b);
    const DWORD secondError = second ? 0 : GetLastError();
    if (!first || !second) {
        if ((!first && Missing(firstError)) || (!second && Missing(secondError))) return false;
        return std::nullopt;
    }
    const auto one = IdentityOf(first.get()), other = IdentityOf(second.get());
    if (!one || !other) return std::nullopt;
    return *one == *other;
}

namespace {

UniqueHandle OpenToRead(const std::wstring& path) {
    HANDLE h = CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// Up to `count` bytes from where the file stands; fewer at its end, none on failure.
std::string ReadSome(HANDLE file, std::size_t count) {
    std::string bytes(count, '\0');
    DWORD got = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(count), &got, nullptr)) got = 0;
    bytes.resize(got);
    return bytes;
}

}  // namespace

bool SameFileContent(const std::wstring& a, const std::wstring& b) {
    const UniqueHandle one = OpenToRead(a), other = OpenToRead(b);
    LARGE_INTEGER size1{}, size2{};
    if (!one || !other || !GetFileSizeEx(one.get(), &size1) || !GetFileSizeEx(other.get(), &size2) ||
        size1.QuadPart != size2.QuadPart)
        return false;
    for (LONGLONG left = size1.QuadPart; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<LONGLONG>(left, 1 << 20));
        const std::string x = ReadSome(one.get(), piece), y = ReadSome(other.get(), piece);
        if (x.size() != piece || x != y) return false;
        left -= static_cast<LONGLONG>(piece);
    }
    return true;
}

std::string ReadFileBytes(const std::wstring& path, std::uint64_t offset, std::size_t count) {
    const UniqueHandle file = OpenToRead(path);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!file || offset > static_cast<std::uint64_t>(LLONG_MAX) || !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return {};
    return ReadSome(file.get(), count);
}

std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ProgramFolder() {
    const std::wstring path = ProgramPath();
    const auto sep = path.find_last_of(L"\\/");
    if (sep == std::wstring::npos) return {};
    return path.substr(0, sep + 1);
}

bool RunningOnWine() {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

bool RemoveFileAt(const std::wstring& path, Removal how) {
    const auto api = ApiPath(path);
    if (how != Removal::AsItIs) {
        if (GetFileAttributesW(api.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND)
            return true;
        SetFileAttributesW(api.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    const bool patient = how == Removal::Patiently;
    for (int attempt = 0; attempt < (patient ? 50 : 1); ++attempt) {
        if (DeleteFileW(api.c_str())) return true;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        if (patient) Sleep(20);
    }
    return false;
}

bool WriteFileWhole(const std::wstring& path, const std::string& bytes) {
    const std::wstring partial = JoinPath(FolderPart(path), L"~zandrel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                                             std::to_wstring(GetTickCount64()) + L".partial");
    UniqueHandle file(CreateFileW(ApiPath(partial).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    bool written = true;
    for (std::size_t at = 0; written && at < bytes.size();) {
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
        written = WriteFile(file.get(), bytes.data() + at, chunk, &done, nullptr) && done == chunk;
        at += done;
    }
    written = written && FlushFileBuffers(file.get());
    file.reset();
    if (written && MoveFileExW(ApiPath(partial).c_str(), ApiPath(path).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(ApiPath(partial).c_str());
    return false;
}

}  // namespace zandrel
