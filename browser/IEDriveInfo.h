#pragma once
// The program-wide drive table: one record per letter A to Z, read from the
// system on demand and cached.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/win.h"

struct _ITEMIDLIST;

namespace zandrel {

struct PidlFree {
    void operator()(_ITEMIDLIST* p) const noexcept;
};
using UniquePidl = std::unique_ptr<_ITEMIDLIST, PidlFree>;

// While it lives, this thread's looks at a drive whose medium is missing (an empty CD
// drive, a stick pulled out) fail quietly instead of raising the system's box that asks
// for the disk. Every look the file browser takes at a drive or a folder goes under one.
class QuietDriveProbes {
public:
    QuietDriveProbes() { SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
    ~QuietDriveProbes() { SetThreadErrorMode(old_, nullptr); }
    QuietDriveProbes(const QuietDriveProbes&) = delete;
    QuietDriveProbes& operator=(const QuietDriveProbes&) = delete;

private:
    DWORD old_ = 0;
};

struct TDriveInfoRec {
    bool Init = false;
    bool Valid = false;
    bool DriveReady = false;
    std::uint32_t DriveType = 0;
    std::wstring DisplayName, PrettyName, LongPrettyName;
    std::uint32_t DriveSerial = 0;
    std::int64_t Size = -1;
    int ImageIndex = 0;
    std::wstring FileSystemName;
    std::uint32_t MaxFileNameLen = 0;
    std::uint32_t FileSystemFlags = 0;
    bool HasPidl = false;
};

class TDriveInfo {
public:
    enum Flags { dsIcon = 1, dsReady = 2, dsNames = 4 };

    TDriveInfo();  // reads the policy word and every letter's drive type; touches no drive
    // With the drive types given by `typeOf` instead of the system (tests).
    explicit TDriveInfo(std::function<std::uint32_t(wchar_t)> typeOf);
    static TDriveInfo& Instance();

    std::uint32_t NoDrives() const { return noDrives_; }
    struct Status {
        bool valid, ready;
    };
    Status ReadDriveStatus(wchar_t letter, int flags);
    TDriveInfoRec Get(wchar_t letter) const;
    int GetImageIndex(wchar_t letter);
    std::wstring GetDisplayName(wchar_t letter);
    std::wstring GetPrettyName(wchar_t letter);
    std::wstring GetLongPrettyName(wchar_t letter);

private:
    struct Record {
        TDriveInfoRec rec;
        UniquePidl pidl;
    };
    Record& At(wchar_t letter);
    void ReadType(wchar_t letter, Record& r) const;
    // Size, readiness, serial and file system of a shown drive; its label, when it has one.
    static std::wstring ReadVolume(TDriveInfoRec& d, const std::wstring& root);
    // The shell's names of a shown drive (a drive not ready goes by its letter).
    static void ReadNames(Record& r, wchar_t letter, const std::wstring& root, const std::wstring& label, int flags);

    std::function<std::uint32_t(wchar_t)> typeOf_;
    std::uint32_t noDrives_ = 0;
    std::array<Record, 26> records_;
};

}  // namespace zandrel
