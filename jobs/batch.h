#pragma once
// Batch jobs, as portable logic: which files a drop or a selection makes a
// batch of, how each file is prepared and finished as Start does it, and what
// UPX's ending says about each file. The Win32 side lists folders, runs UPX and
// measures the files.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_command.h"
#include "jobs/upx_program.h"

namespace zandrel {

// One entry of a folder listing, as the batch needs it.
struct FolderEntry {
    std::wstring name;  // without the folder
    bool isFolder = false;
    bool isLink = false;  // a junction or symbolic link: never followed
    std::int64_t size = -1;  // of a file: its size as listed
};

// How a batch sees the disk while it gathers its files.
struct BatchSource {
    std::function<bool(const std::wstring& path)> isFolder;
    std::function<std::vector<FolderEntry>(const std::wstring& folder)> list;
    std::function<bool(const std::wstring& name)> accept;  // the file list's filter, by name
    // One file by any of its spellings (empty: names compare as Windows compares them, case aside).
    std::function<std::wstring(const std::wstring& path)> identity;
    std::function<bool(const std::wstring& path)> packed;  // UPX has packed it already
    std::function<std::int64_t(const std::wstring& path)> size;  // of a file given by name (-1: unknown)
    std::function<bool()> stop;                            // true: give up now
};
struct BatchChoice {
    bool subfolders = false;  // folders inside the dropped folders too, all the way down
    bool skipPacked = false;  // leave out the files UPX has packed already
};
struct BatchScan {
    std::vector<std::wstring> files;
    std::vector<std::int64_t> sizes;  // each file's size as counted (-1: unknown), for the table until its turn
    std::size_t packedSkipped = 0;
    std::size_t folders = 0;  // how many folders hold the files
    bool stopped = false;     // given up before the end: `files` is not the whole batch
};

// The files of a batch, in the order given: a file as it is; a folder by the
// files inside it that `accept` takes (by name), in the listing's order, and those
// of its sub-folders after them when asked. Never the backup copies Start makes,
// nor Zandrel's plain-named working and private copies, and no file twice.
// `progress` hears the count now and then (the caller may be another thread).
BatchScan ScanBatch(const std::vector<std::wstring>& dropped, const BatchChoice& choice, const BatchSource& source,
                    const std::function<void(std::size_t found)>& progress = {});

enum class BatchResult : std::uint8_t {
    Waiting,  // not started yet
    Working,  // UPX works on it now
    NotDone,  // not started (the batch was stopped) or stopped while it ran
    Done,
    Warning,  // UPX's exit code 2: nothing was changed
    AlreadyPacked,  // a compress of a file UPX has packed: nothing was touched
    Error,    // UPX's exit code 1, a failed start or a failed check of the result
    PutBack,  // done, then put back as it was by an undo
};
// Whether the file's turn is over (it is neither waiting nor at work).
inline bool Finished(BatchResult result) { return result != BatchResult::Waiting && result != BatchResult::Working; }

struct BatchFileOutcome {
    std::wstring path;
    std::int64_t sizeBefore = -1;  // -1: unknown (the file was gone)
    std::int64_t sizeAfter = -1;
    BatchResult result = BatchResult::Waiting;
    std::wstring reason;  // UPX's own words for a warning or an error
};

// Start's checks that concern the whole batch rather than one file (the UPX program,
// then the level): the message of the first that fails, empty when all pass.
std::wstring BatchRefusal(const JobForm& form, IJobDisk& disk);

// The disk as a batch's files are prepared and finished on it: UPX's program keeps the
// short name it had the first time it was asked (under Wine a short name costs 1-3 ms,
// twice for every file), and a folder the long form it had (under Wine a long form
// looks at every folder of the path, 1.3 ms a file); everything else goes to `disk`
// every time.
class BatchDisk : public IJobDisk {
public:
    BatchDisk(IJobDisk& disk, std::wstring program) : disk_(disk), program_(std::move(program)) {}
    std::wstring ShortPath(const std::wstring& path) override;

    bool FileExists(const std::wstring& path) override { return disk_.FileExists(path); }
    bool FolderExists(const std::wstring& path) override { return disk_.FolderExists(path); }
    Sameness CompareFiles(const std::wstring& a, const std::wstring& b) override { return disk_.CompareFiles(a, b); }
    bool SameContent(const std::wstring& a, const std::wstring& b) override { return disk_.SameContent(a, b); }
    std::string ReadBytes(const std::wstring& path, std::uint64_t offset, std::size_t count) override {
        return disk_.ReadBytes(path, offset, count);
    }
    std::optional<FileStamp> Stamp(const std::wstring& path) override { return disk_.Stamp(path); }
    std::uint32_t Attributes(const std::wstring& path) override { return disk_.Attributes(path); }
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes) override {
        return disk_.SetAttributes(path, attributes);
    }
    bool RemoveFile(const std::wstring& path) override { return disk_.RemoveFile(path); }
    bool SetArchiveAttributeOnly(const std::wstring& path) override { return disk_.SetArchiveAttributeOnly(path); }
    std::wstring FullPath(const std::wstring& path) override { return disk_.FullPath(path); }
    std::wstring LongPath(const std::wstring& path) override;
    std::wstring LongName(const std::wstring& path) override { return disk_.LongName(path); }
    bool SurvivesAnsiCodePage(const std::wstring& text) override { return disk_.SurvivesAnsiCodePage(text); }
    std::wstring FreeTempName(const std::wstring& folder, const std::wstring& sourceName) override {
        return disk_.FreeTempName(folder, sourceName);
    }
    std::wstring NewTempName(const std::wstring& folder, const std::wstring& sourceName) override {
        return disk_.NewTempName(folder, sourceName);
    }
    CopyResult CopyFileNew(const std::wstring& from, const std::wstring& to) override {
        return disk_.CopyFileNew(from, to);
    }
    bool MoveReplacing(const std::wstring& from, const std::wstring& to) override { return disk_.MoveReplacing(from, to); }
    bool MoveNew(const std::wstring& from, const std::wstring& to) override { return disk_.MoveNew(from, to); }

private:
    IJobDisk& disk_;
    std::wstring program_;
    std::optional<std::wstring> programShort_;
    std::map<std::wstring, std::wstring> longFolders_;
};

// One file of a batch, prepared as Start prepares a job in place (target = source),
// with the same checks, backup copy and names UPX cannot spell. Nothing is asked:
// a failed check, or a backup that cannot be made, ends the file with Start's
// message as its reason (a batch never goes on without the backup the form asks for).
struct BatchJob {
    JobPlan plan;          // way None: refused
    std::wstring refusal;  // Start's message when refused
};
BatchJob PrepareBatchJob(JobForm form, const std::wstring& file, IJobDisk& disk);

// After a file's run: its result goes into place as after Start's run; what Start would
// have said in a box (a failed start, UPX's error or warning, a result that could not be
// put in place) comes back as text, empty when there is nothing to say.
std::wstring FinishBatchJob(const JobPlan& plan, const RunOutcome& outcome, IJobDisk& disk);

// The form of the check that follows a compress: UPX's own test of the result.
JobForm CheckForm(const JobForm& form);


// The result as the batch's table and summary name it ("done", "failed", ...).
std::wstring ResultWord(BatchResult result);

// The result of one UPX run by its exit code (0, 1, 2; anything else is an error).
BatchResult ResultOfExitCode(std::uint32_t exitCode);

// The new size as a share of the old one, in per cent with one decimal ("57.3%");
// empty when either size is unknown or the old one is 0.
std::wstring RatioText(std::int64_t before, std::int64_t after);


}  // namespace zandrel
