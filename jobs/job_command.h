#pragma once
// Start's checks and the UPX command line, as portable logic. The Win32 side
// supplies file facts, file changes and the message boxes through IJobHost,
// then carries out the returned plan.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/names.h"
#include "jobs/upx_names.h"
#include "jobs/upx_options.h"

namespace zandrel {

// What Start reads from the main window.
struct JobForm {
    std::wstring upx;
    std::wstring source;
    std::wstring target;
    std::wstring level;  // selected entry of the level list; empty when none
    bool decompress = false;
    bool backup = true;
    bool dosBox = true;
    bool q = false, qq = false, qqq = false;
    bool testFlag = false, listFlag = false;
    UpxOptions advanced;  // the advanced options: a compress only takes them
    // Without a backup, keep a private copy of a file UPX rewrites in place (the
    // caller puts it back when the result fails its check).
    bool keepOriginal = false;
};

// Whether two names lead to one file. Unknown: both exist, but the system
// could not say (a file that cannot be opened, a volume without file ids).
enum class Sameness { Same, Different, Unknown };

// What a job needs to know of a file to tell whether it changed meanwhile.
struct FileStamp {
    std::int64_t size = -1;
    std::uint64_t writeTime = 0;
    bool operator==(const FileStamp&) const = default;
};

// File attributes as the system has them; kNoFile when there is no such file.
inline constexpr std::uint32_t kNoFile = 0xFFFFFFFF;
inline constexpr std::uint32_t kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kArchive = 0x20;

// How a copy to a new name went: a taken name is left alone, and another may be tried.
enum class CopyResult : std::uint8_t { Copied, NameTaken, Failed };

// The disk as a job sees it: file facts and file changes.
class IJobDisk {
public:
    virtual ~IJobDisk() = default;
    virtual bool FileExists(const std::wstring& path) = 0;    // an existing file, not a folder
    virtual bool FolderExists(const std::wstring& path) = 0;
    // Both names open at once and compared by volume and file id, whatever their spelling.
    virtual Sameness CompareFiles(const std::wstring& a, const std::wstring& b) = 0;
    // Both files readable and byte for byte the same.
    virtual bool SameContent(const std::wstring& a, const std::wstring& b) = 0;
    // Up to `count` bytes from `offset`; fewer at the file's end, none when it cannot be read.
    virtual std::string ReadBytes(const std::wstring& path, std::uint64_t offset, std::size_t count) = 0;
    virtual std::optional<FileStamp> Stamp(const std::wstring& path) = 0;
    virtual std::uint32_t Attributes(const std::wstring& path) = 0;
    virtual bool SetAttributes(const std::wstring& path, std::uint32_t attributes) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
    virtual bool SetArchiveAttributeOnly(const std::wstring& path) = 0;
    // The 8.3 form of an existing path; the path itself when it has none.
    virtual std::wstring ShortPath(const std::wstring& path) = 0;
    virtual std::wstring FullPath(const std::wstring& path) = 0;
    // The long form of an existing path (8.3 parts expanded); the path itself otherwise.
    virtual std::wstring LongPath(const std::wstring& path) = 0;
    // The long form of an existing path's last part alone; empty when there is none.
    virtual std::wstring LongName(const std::wstring& path) = 0;
    // True when the text goes through the ANSI code page and back unchanged.
    virtual bool SurvivesAnsiCodePage(const std::wstring& text) = 0;
    // A full path in `folder` with a plain name (PlainTempName) that no file has yet;
    // empty when none is free.
    virtual std::wstring FreeTempName(const std::wstring& folder, const std::wstring& sourceName) = 0;
    // The same kind of name, not used by this program before, without asking the disk (a
    // look for a name that is not there costs a listing of the folder under Wine): only a
    // leftover can have it, and a CopyFileNew to it then answers NameTaken.
    virtual std::wstring NewTempName(const std::wstring& folder, const std::wstring& sourceName) = 0;
    // Fails if `to` exists, and then leaves it alone; a partial copy is removed.
    virtual CopyResult CopyFileNew(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool MoveNew(const std::wstring& from, const std::wstring& to) = 0;  // fails if `to` exists
};

// What a job says to the user and asks.
class IJobQuestions {
public:
    virtual ~IJobQuestions() = default;
    virtual void ShowError(const std::wstring& text) = 0;          // beep, error box
    virtual bool AskGoOnWithoutBackup(const std::wstring& text) = 0;  // beep, error icon, Yes/No
    virtual bool AskReplace(const std::wstring& text) = 0;         // question icon, Yes/Cancel
};

class IJobHost : public IJobDisk, public IJobQuestions {};

enum class RunWay {
    None,     // a check failed or the user cancelled: nothing runs
    Console,  // test or list: the console runner, output in the message window
    Visible,  // compress/decompress in UPX's own console
    Hidden,   // compress/decompress behind the wait window
};

struct JobPlan {
    RunWay way = RunWay::None;
    std::wstring source;  // the form's source
    std::wstring commandLine;
    UpxFiles files;  // how the files reach UPX; its temporaries exist once the plan is made
    bool alreadyPacked = false;  // refused: a compress of a file UPX has packed already
    // A copy that holds the source as it was: the backup made (or kept) for this job,
    // or the private copy a batch keeps; empty: none.
    std::wstring original;
    std::wstring privateCopy;  // the private copy, when `original` is one
    bool backupMade = false;   // `original` is a backup made for this job (not one found with the same bytes)
    // UPX rewrites the user's file itself (in place): the names of its work files
    // that were there before the run, up to the first free one, so one it leaves behind can be told.
    bool upxWritesInPlace = false;
    std::vector<std::wstring> upxWorkFilesBefore;
    // UPX writes a target the user named, directly; an older file of that name was removed for it.
    std::wstring targetWritten;
    bool targetRemoved = false;
    // A result made from a working copy replaces the source at the end.
    bool resultReplacesSource = false;
    // The source as it was before the run, when UPX rewrites it or a result replaces it.
    std::optional<FileStamp> sourceStamp;
};

// Runs Start's checks in their fixed order, makes the backup copy and clears
// the way for the target; returns the command line and how to run it.
JobPlan PrepareJob(const JobForm& form, IJobDisk& disk, IJobQuestions& questions);
inline JobPlan PrepareJob(const JobForm& form, IJobHost& host) { return PrepareJob(form, host, host); }

struct RunOutcome {
    std::uint32_t startResult = 0;  // 0 when UPX was started, else the system's error code
    std::uint32_t exitCode = 0;
    std::vector<std::wstring> output{};  // what UPX wrote, where it was captured (a hidden run)
};

// UPX ended as UPX ends: 0 success, 1 error, 2 warning. Any other code means it
// did not (it crashed, its console was closed, or a newer UPX said something new).
bool UpxEndedNormally(std::uint32_t exitCode);
// The code as a user may look it up: decimal, or hexadecimal for the system's status codes.
std::wstring ExitCodeText(std::uint32_t exitCode);

// After a compress or decompress run: a failed start, or UPX's exit codes 1
// and 2 (with UPX's reason, where it was caught), or any other code, each with its message.
void ReportOutcome(RunWay way, const RunOutcome& outcome, IJobQuestions& questions, const std::wstring& reason = {});

// UPX's reason in what it wrote, naming the real files where UPX was given plain names.
std::wstring UpxReasonOf(const JobPlan& plan, const RunOutcome& outcome);


// After a compress or decompress run: a result UPX wrote under a temporary
// name goes onto the wanted name when UPX ended with success (never over a
// source that changed meanwhile); after a UPX that did not end normally, the
// file it rewrote in place is made whole again and an unfinished target goes;
// then the outcome is reported. The temporaries are the caller's to remove.
enum class JobEnd {
    AsUpxSaid,     // the files are as UPX's exit code says
    MadeWhole,     // UPX did not end as it should; the file was made whole again (or is missing), as said
    ResultNotPut,  // UPX finished, but its result could not be (or was not) put in place, as said
    Unfinished,    // UPX ended with a code of its own but left its work unfinished (ended from outside), as said
};
JobEnd FinishJob(const JobPlan& plan, const RunOutcome& outcome, IJobDisk& disk, IJobQuestions& questions);
inline JobEnd FinishJob(const JobPlan& plan, const RunOutcome& outcome, IJobHost& host) {
    return FinishJob(plan, outcome, host, host);
}

// For the console window: one line for each file UPX knows by another name.
std::vector<std::wstring> RenamedNotes(const UpxFiles& files);

// The program part of a command line: quoted only when it holds a blank.
std::wstring CommandProgram(const std::wstring& shortPath);
// The switches of a job (level or -d/-t/-l, then the quiet switch, then, for a
// compress, the advanced options' switches).
std::wstring JobSwitches(const JobForm& form);

}  // namespace zandrel
