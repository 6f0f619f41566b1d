#include "browser/IEDriveInfo.h"

#include <shellapi.h>
#include <shlobj.h>
#include <winnetwk.h>

#include "browser/drive_names.h"
#include "framework/registry.h"

namespace zandrel {

void PidlFree::operator()(_ITEMIDLIST* p) const noexcept { CoTaskMemFree(p); }

namespace {

std::uint32_t ReadNoDrives() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    // Stored as four bytes of binary data, or else as an integer.
    std::uint32_t value = 0;
    DWORD type = 0, size = sizeof value;
    const LSTATUS status =
        RegQueryValueExW(key, L"NoDrives", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size == sizeof value && (type == REG_BINARY || type == REG_DWORD) ? value : 0;
}

std::wstring Root(wchar_t letter) { return std::wstring(1, letter) + L":\\"; }

}  // namespace

TDriveInfo::TDriveInfo() {
    noDrives_ = ReadNoDrives();
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) ReadType(letter, At(letter));
}

TDriveInfo::TDriveInfo(std::function<std::uint32_t(wchar_t)> typeOf) : typeOf_(std::move(typeOf)) {
    noDrives_ = ReadNoDrives();
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) ReadType(letter, At(letter));
}

TDriveInfo& TDriveInfo::Instance() {
    static TDriveInfo table;
    return table;
}

TDriveInfo::Record& TDriveInfo::At(wchar_t letter) { return records_[static_cast<std::size_t>(CheckDriveLetter(letter) - L'A')]; }

void TDriveInfo::ReadType(wchar_t letter, Record& r) const {
    r.rec.DriveType = typeOf_ ? typeOf_(letter) : GetDriveTypeW(Root(letter).c_str());
    r.rec.Valid = IsShownDrive(r.rec.DriveType, HiddenByPolicy(noDrives_, letter));
}

std::wstring TDriveInfo::ReadVolume(TDriveInfoRec& d, const std::wstring& root) {
    ULARGE_INTEGER total{};
    d.Size = GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr) ? static_cast<std::int64_t>(total.QuadPart) : -1;
    d.DriveReady = d.Size >= 0;
    d.DriveSerial = 0;
    if (!d.DriveReady) return {};
    wchar_t volume[25] = {}, fileSystem[500] = {};
    DWORD serial = 0, maxLen = 0, fsFlags = 0;
    if (!GetVolumeInformationW(root.c_str(), volume, 25, &serial, &maxLen, &fsFlags, fileSystem, 500)) {
        d.FileSystemName.clear();
        return {};
    }
    d.DriveSerial = serial, d.MaxFileNameLen = maxLen, d.FileSystemFlags = fsFlags;
    d.FileSystemName = fileSystem;
    return volume;
}

void TDriveInfo::ReadNames(Record& r, wchar_t letter, const std::wstring& root, const std::wstring& label, int flags) {
    TDriveInfoRec& d = r.rec;
    if ((flags & dsReady) && !d.DriveReady) {
        d.DisplayName = d.PrettyName = d.LongPrettyName = std::wstring(1, letter) + L":";
        r.pidl.reset();
        return;
    }
    if (d.DriveType == DRIVE_CDROM && !label.empty()) {
        d.DisplayName = CdDisplayName(label, letter);
    } else {
        SHFILEINFOW info{};
        const bool got = r.pidl ? SHGetFileInfoW(reinterpret_cast<LPCWSTR>(r.pidl.get()), 0, &info, sizeof info,
                                                 SHGFI_PIDL | SHGFI_DISPLAYNAME) != 0
                                : SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME) != 0;
        d.DisplayName = got ? info.szDisplayName : std::wstring(1, letter) + L":";
    }
    d.PrettyName = PrettyName(letter, d.DisplayName);
    if (d.DriveType == DRIVE_REMOTE) {
        wchar_t remote[1024] = {};
        DWORD length = 1024;
        const std::wstring local = std::wstring(1, letter) + L":";
        if (WNetGetConnectionW(local.c_str(), remote, &length) != NO_ERROR) remote[0] = L'\0';
        d.PrettyName = NetworkPrettyName(letter, remote);
        d.LongPrettyName = NetworkLongPrettyName(letter, remote);
    } else {
        d.LongPrettyName = LongPrettyName(d.PrettyName, d.DisplayName, letter);
    }
}

TDriveInfo::Status TDriveInfo::ReadDriveStatus(wchar_t letter, int flags) {
    letter = CheckDriveLetter(letter);
    // The shell's name, identifier and icon of a drive without its medium look at it too.
    QuietDriveProbes quiet;
    Record& r = At(letter);
    TDriveInfoRec& d = r.rec;
    d.Init = true;
    ReadType(letter, r);
    const auto root = Root(letter);
    if (!d.Valid) {
        d.Size = 0;
        d.DriveReady = false;
        d.DisplayName.clear(), d.PrettyName.clear(), d.LongPrettyName.clear();
        d.DriveSerial = 0;
        d.ImageIndex = 0;
        r.pidl.reset();
        d.HasPidl = false;
        return {false, false};
    }
    if (!r.pidl && letter > L'B') {
        // Floppy letters never get one, so the shell does not touch them.
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (SUCCEEDED(SHParseDisplayName(root.c_str(), nullptr, &pidl, 0, nullptr))) r.pidl.reset(pidl);
    }
    const std::wstring label = (flags & dsReady) ? ReadVolume(d, root) : std::wstring();
    if (flags & dsNames) ReadNames(r, letter, root, label, flags);
    if ((flags & dsIcon) && d.ImageIndex < 5) {
        SHFILEINFOW info{};
        const UINT what = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
        if (r.pidl
                ? SHGetFileInfoW(reinterpret_cast<LPCWSTR>(r.pidl.get()), 0, &info, sizeof info, SHGFI_PIDL | what)
                : SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, what))
            d.ImageIndex = info.iIcon;
    }
    d.HasPidl = r.pidl != nullptr;
    return {d.Valid, d.DriveReady};
}

TDriveInfoRec TDriveInfo::Get(wchar_t letter) const {
    return records_[static_cast<std::size_t>(CheckDriveLetter(letter) - L'A')].rec;
}

int TDriveInfo::GetImageIndex(wchar_t letter) {
    const auto& d = At(letter).rec;
    if (!d.Valid) return 0;
    if (d.ImageIndex == 0) ReadDriveStatus(letter, dsIcon);
    return At(letter).rec.ImageIndex;
}

std::wstring TDriveInfo::GetDisplayName(wchar_t letter) {
    const auto& d = At(letter).rec;
    if (!d.Valid) return std::wstring(1, CheckDriveLetter(letter)) + L":";
    if (d.DisplayName.empty()) ReadDriveStatus(letter, dsNames);
    return At(letter).rec.DisplayName;
}

std::wstring TDriveInfo::GetPrettyName(wchar_t letter) {
    const auto& d = At(letter).rec;
    if (!d.Valid) return std::wstring(1, CheckDriveLetter(letter)) + L":";
    if (d.PrettyName.empty()) ReadDriveStatus(letter, dsNames);
    return At(letter).rec.PrettyName;
}

std::wstring TDriveInfo::GetLongPrettyName(wchar_t letter) {
    const auto& d = At(letter).rec;
    if (!d.Valid) return std::wstring(1, CheckDriveLetter(letter)) + L":";
    if (d.PrettyName.empty()) ReadDriveStatus(letter, dsNames);
    return At(letter).rec.LongPrettyName;
}

}  // namespace zandrel
