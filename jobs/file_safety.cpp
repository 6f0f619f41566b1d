#include "jobs/file_safety.h"

#include <algorithm>

#include "framework/names.h"

namespace zandrel {
namespace {

// The name without its extension, and the extension with its dot.
std::pair<std::wstring, std::wstring> SplitExtension(const std::wstring& name) {
    const auto dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || dot == 0) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

std::uint32_t Little(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

}  // namespace

std::wstring BackupName(const std::wstring& source, unsigned n) {
    const auto sep = source.find_last_of(L"\\/:");
    const std::wstring folder = sep == std::wstring::npos ? std::wstring() : source.substr(0, sep + 1);
    const auto [stem, extension] = SplitExtension(source.substr(folder.size()));
    return folder + stem + L"_zandrel_bak" + (n > 1 ? std::to_wstring(n) : std::wstring()) + extension;
}

bool IsBackupName(const std::wstring& name) {
    std::wstring stem = FoldedName(SplitExtension(FileNamePart(name)).first);
    while (!stem.empty() && stem.back() >= L'0' && stem.back() <= L'9') stem.pop_back();
    const std::wstring mark = L"_ZANDREL_BAK";
    return stem.size() >= mark.size() && stem.compare(stem.size() - mark.size(), mark.size(), mark) == 0;
}

std::wstring MakeBackup(const std::wstring& source, IJobDisk& disk, bool* made) {
    if (made) *made = false;
    for (unsigned n = 1; n <= 99; ++n) {
        const std::wstring name = BackupName(source, n);
        if (disk.FileExists(name)) {
            // The same bytes in another file are a backup already; another file is someone's to
            // keep, and the source itself under this name (a link) is no backup at all: UPX's
            // result would show through it.
            if (disk.SameContent(source, name) && disk.CompareFiles(source, name) == Sameness::Different) return name;
            continue;
        }
        if (disk.FolderExists(name)) continue;
        if (!CopyIntoPlace(source, name, false, disk)) return {};
        if (made) *made = true;
        return name;
    }
    return {};
}

std::wstring CopyToTemporary(const std::wstring& from, const std::wstring& folder, IJobDisk& disk) {
    // The copy itself tells whether the name is free: one look at the folder instead of two.
    for (int tries = 0; tries < 1000; ++tries) {
        const std::wstring copy = disk.NewTempName(folder, FileNamePart(from));
        if (copy.empty()) return {};
        const CopyResult result = disk.CopyFileNew(from, copy);
        if (result == CopyResult::Copied) return copy;
        if (result == CopyResult::Failed) return {};  // another name would fail the same way
    }
    return {};
}

bool CopyIntoPlace(const std::wstring& from, const std::wstring& to, bool replace, IJobDisk& disk) {
    const std::wstring copy = CopyToTemporary(from, FolderPart(to), disk);
    if (copy.empty()) return false;
    if (replace ? disk.MoveReplacing(copy, to) : disk.MoveNew(copy, to)) return true;
    disk.RemoveFile(copy);
    return false;
}

bool LooksPackedByUpx(const std::function<std::string(std::uint64_t offset, std::size_t count)>& fromFile) {
    // The headers lie within the first page of nearly every program: it is read once, and
    // only what lies beyond it costs another read (each opens the file).
    constexpr std::size_t kHead = 4096;
    const std::string head = fromFile(0, kHead);
    auto read = [&](std::uint64_t offset, std::size_t count) {
        const bool wholeFile = head.size() < kHead;
        if (offset + count > head.size() && !wholeFile) return fromFile(offset, count);
        return offset >= head.size() ? std::string() : head.substr(static_cast<std::size_t>(offset), count);
    };
    const std::string dos = read(0, 64);
    if (dos.size() < 64 || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint64_t header = Little(dos, 0x3C, 4);
    const std::string pe = read(header, 24);
    if (pe.size() < 24 || pe.compare(0, 4, std::string("PE\0\0", 4)) != 0) return false;
    const std::uint32_t sections = Little(pe, 6, 2), optionalHeader = Little(pe, 20, 2);
    if (sections == 0) return false;
    const std::string first = read(header + 24 + optionalHeader, 8);
    return first.size() == 8 && first.compare(0, 3, "UPX") == 0;
}

bool PackedByUpx(const std::wstring& path, IJobDisk& disk) {
    return LooksPackedByUpx([&](std::uint64_t offset, std::size_t count) { return disk.ReadBytes(path, offset, count); });
}

std::wstring UpxWorkFileName(const std::wstring& file, int n) {
    const std::wstring stem = JoinPath(FolderPart(file), SplitExtension(FileNamePart(file)).first);
    if (n < 0) return stem + L".upx";
    const std::wstring digits = std::to_wstring(n);
    return stem + L"." + std::wstring(3 - std::min<std::size_t>(3, digits.size()), L'0') + digits;
}

std::vector<std::wstring> UpxWorkFiles(const std::wstring& file, IJobDisk& disk) {
    // A look at each name in UPX's order up to the first free one, not a listing of the
    // folder: under Wine a listing costs more the more files the folder holds.
    std::vector<std::wstring> found;
    for (int n = -1; n < 1000; ++n) {
        const std::wstring name = UpxWorkFileName(file, n);
        if (!disk.FileExists(name)) break;
        found.push_back(name);
    }
    return found;
}

std::wstring UpxWorkStem(const std::wstring& file) { return FoldedName(SplitExtension(FileNamePart(file)).first); }

namespace {

// The work file this job's UPX wrote: the first of app.upx, app.000, ... that was
// not there before the run (UPX takes the first free one). Only it is the job's
// to remove or to put in place; any other may be another job's.
std::wstring OwnWorkFile(const std::wstring& source, const std::vector<std::wstring>& before, IJobDisk& disk) {
    auto taken = [&](const std::wstring& path) {
        return std::any_of(before.begin(), before.end(), [&](const std::wstring& b) { return FoldedName(b) == FoldedName(path); });
    };
    for (int n = -1; n < 1000; ++n) {
        const std::wstring candidate = UpxWorkFileName(source, n);
        if (taken(candidate)) continue;
        return disk.FileExists(candidate) ? candidate : std::wstring();
    }
    return {};
}

// The file back as it was, from the job's copy of it: a private copy is moved
// (a rename needs no room on the disk), a backup is copied (it stays a backup).
// Where it came from, in words; empty when it could not be put back.
std::wstring PutOriginalBack(const std::wstring& source, const JobPlan& plan, bool replace, IJobDisk& disk) {
    if (!plan.privateCopy.empty() && disk.FileExists(plan.privateCopy)) {
        const bool moved = replace ? disk.MoveReplacing(plan.privateCopy, source) : disk.MoveNew(plan.privateCopy, source);
        return moved ? L"Zandrel's copy of it" : std::wstring();
    }
    if (plan.original.empty() || !disk.FileExists(plan.original)) return {};
    const bool put = (replace && disk.SameContent(source, plan.original)) ||
                     CopyIntoPlace(plan.original, source, replace, disk);
    return put ? plan.original : std::wstring();
}

// The file UPX rewrote in place, after UPX did not end as it should.
std::wstring MakeSourceWhole(const std::wstring& source, const JobPlan& plan, IJobDisk& disk) {
    std::wstring workFile = OwnWorkFile(source, plan.upxWorkFilesBefore, disk);
    const bool haveOriginal = (!plan.privateCopy.empty() && disk.FileExists(plan.privateCopy)) ||
                              (!plan.original.empty() && disk.FileExists(plan.original));
    std::wstring said;
    if (!disk.FileExists(source)) {
        // UPX removes the file just before it renames its finished work file.
        if (const auto from = PutOriginalBack(source, plan, false, disk); !from.empty()) {
            said = L"The file was put back as it was, from " + from + L".";
        } else if (!workFile.empty() && disk.MoveNew(workFile, source)) {
            workFile.clear();
            said = L"UPX had removed the file; its finished work file was put in the file's place.";
        } else {
            said = L"The file is missing.";
            if (!workFile.empty()) said += L" UPX's work file is kept as " + workFile + L".";
            return said;  // nothing more goes: it may be all there is
        }
    } else if (plan.sourceStamp && disk.Stamp(source) == plan.sourceStamp) {
        said = L"The file is unchanged.";
    } else if (haveOriginal) {
        said = !PutOriginalBack(source, plan, true, disk).empty()
                   ? L"The file is as it was."
                   : L"UPX changed the file before it ended; it could not be put back. Its copy is " +
                         (plan.privateCopy.empty() ? plan.original : plan.privateCopy) + L".";
    } else {
        said = L"UPX changed the file before it ended: test it before you use it.";
    }
    if (!workFile.empty()) disk.RemoveFile(workFile);
    return said;
}

}  // namespace

bool UpxLeftItsWorkFile(const std::wstring& source, const JobPlan& plan, IJobDisk& disk) {
    return plan.upxWritesInPlace && !OwnWorkFile(source, plan.upxWorkFilesBefore, disk).empty();
}

std::wstring MakeWholeAfterUpx(const std::wstring& source, const JobPlan& plan, IJobDisk& disk) {
    std::wstring said;
    if (plan.upxWritesInPlace) said = MakeSourceWhole(source, plan, disk);
    if (!plan.targetWritten.empty() && disk.FileExists(plan.targetWritten)) {
        if (!said.empty()) said += L" ";
        said += disk.RemoveFile(plan.targetWritten)
                    ? L"The unfinished target " + plan.targetWritten + L" was removed."
                    : L"The target " + plan.targetWritten + L" may be unfinished: delete it.";
    } else if (!plan.targetWritten.empty() && plan.targetRemoved) {
        if (!said.empty()) said += L" ";
        said += L"The old " + plan.targetWritten + L" had been removed before UPX ran, as you agreed; there is no new one.";
    }
    return said;
}

}  // namespace zandrel
