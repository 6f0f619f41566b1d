#pragma once
// How the files of a job reach UPX. UPX reads its command line through the
// ANSI code page and opens files with the narrow file functions, so it can
// only open a name that code page spells exactly and that is not too long.
// Such names go on the command line as they are. Others are given by their
// short (8.3) form where UPX only reads the file, and otherwise through a
// plain-named temporary file in a folder UPX can reach; the program moves a
// finished result onto the wanted name itself. Portable.
#include <string>
#include <vector>

namespace zandrel {

class IJobDisk;

// The longest path UPX opens, and the room its own temporary file needs in a folder.
inline constexpr std::size_t kUpxPathLimit = 259;
inline constexpr std::size_t kUpxTempRoom = 14;
// Every plain temporary name begins so, and no such name is longer than the limit.
inline constexpr const wchar_t* kPlainNamePrefix = L"~zandrel-";
inline constexpr std::size_t kPlainNameLength = 24;

// A temporary file's plain name: ASCII only, with the source's extension when
// that is a plain one.
std::wstring PlainTempName(unsigned long processId, unsigned number, const std::wstring& sourceName);
// True when the path's last part is such a name (one of Zandrel's own working copies).
bool HasPlainTempName(const std::wstring& path);

// A name UPX can open: the ANSI code page spells it exactly and it is short
// enough, also for the temporary file UPX writes beside it.
bool UpxCanUse(const std::wstring& path, IJobDisk& disk);

// What Start gives UPX, and what it does around the run.
struct UpxFiles {
    std::wstring source;         // the source as UPX reads it
    std::wstring output;         // what follows -o; empty: none
    std::wstring currentFolder;  // UPX's current folder when a name is relative to it; else empty
    // A plain-named copy of a file, made before the run (`copyFrom` empty: none).
    std::wstring copyFrom, copyTo;
    // After UPX has ended with success: moved onto the wanted file (empty: nothing to move).
    std::wstring resultFrom, resultTo;
    std::vector<std::wstring> temporaries;  // removed after the run, whatever happened
    // For the console window: the real names UPX's output calls otherwise.
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // real name, name given to UPX
    // Every file UPX writes is one of the job's own plain-named files (or it writes
    // none): ending UPX half-way then costs the user nothing.
    bool writesOnlyTemporaries = false;
    bool unreachable = false;    // no folder on the way to the file's root can be reached by UPX
    bool noWorkingName = false;  // no free plain name was found
    std::wstring unreachableFolder;
};

// Decides how the job's files reach UPX. `source` and `target` are the form's
// texts; `inPlace` tells that UPX works on the source itself (or only reads it,
// for test and list, where `infoJob` is set). Names UPX can use stay exactly as
// they are. Plain-named files go in the wanted file's folder, or in the nearest
// folder above it that UPX can reach. Where the source needs a working copy, an
// existing target is written under a plain name too and replaced only once
// the result is finished. Makes no change on disk: the copy is the caller's.
UpxFiles ReachFilesForUpx(const std::wstring& source, const std::wstring& target, bool inPlace, bool infoJob,
                          IJobDisk& disk);

}  // namespace zandrel
