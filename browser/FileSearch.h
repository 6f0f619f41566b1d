#pragma once
// Facts of folder entries as the file search gives them, and a file search
// that closes itself: shared by the file list's loading, display and drops.
#include <cstdint>
#include <string>

#include "framework/files.h"
#include "framework/win.h"

namespace zandrel {

inline std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}
inline std::wstring Lower(std::wstring s) {
    if (!s.empty()) CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

inline std::wstring Extension3(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return {};
    return Upper(name.substr(dot + 1, 3));
}

inline std::int64_t TimeCount(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}
inline FILETIME FromCount(std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    return {static_cast<DWORD>(u), static_cast<DWORD>(u >> 32)};
}
inline std::int64_t SizeOf(const WIN32_FIND_DATAW& d) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow);
}
inline bool IsDots(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

// The packed local date and time of a file time; 0 when it has no packed form.
inline std::uint32_t PackedTime(const FILETIME& utc) {
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
    return (static_cast<std::uint32_t>(date) << 16) | time;
}

// A file search that closes itself.
class Search {
public:
    explicit Search(const std::wstring& pattern) {
        handle_ = FindFirstFileExW(ApiPath(pattern).c_str(), FindExInfoBasic, &data_, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
        valid_ = handle_ != INVALID_HANDLE_VALUE;
    }
    ~Search() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    bool Valid() const { return valid_; }
    const WIN32_FIND_DATAW& Data() const { return data_; }
    bool Next() { return valid_ = FindNextFileW(handle_, &data_) != FALSE; }

private:
    HANDLE handle_;
    WIN32_FIND_DATAW data_{};
    bool valid_;
};

}  // namespace zandrel
