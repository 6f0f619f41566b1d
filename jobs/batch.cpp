#include "jobs/batch.h"

#include <unordered_set>

#include "app/descrambler.h"
#include "framework/names.h"
#include "jobs/file_safety.h"
#include "jobs/job_report.h"
#include "zandrel_texts.h"

namespace zandrel {
namespace {

// Start's boxes and questions, turned into a reason.
class Answering : public IJobQuestions {
public:
    std::wstring said;
    void ShowError(const std::wstring& text) override { Say(text); }
    bool AskGoOnWithoutBackup(const std::wstring& text) override { return Say(text), false; }
    bool AskReplace(const std::wstring& text) override { return Say(text), false; }

private:
    void Say(const std::wstring& text) {
        if (said.empty()) said = text;
    }
};


}  // namespace

BatchScan ScanBatch(const std::vector<std::wstring>& dropped, const BatchChoice& choice, const BatchSource& source,
                    const std::function<void(std::size_t found)>& progress) {
    BatchScan scan;
    std::unordered_set<std::wstring> taken, folders;
    auto stopped = [&] { return scan.stopped || (source.stop && (scan.stopped = source.stop())); };
    auto take = [&](const std::wstring& path, std::int64_t size) {
        const std::wstring name = FileNamePart(path);
        // Zandrel's own copies (backups, working and private copies) are never packed.
        if (IsBackupName(name) || HasPlainTempName(name)) return;
        const std::wstring key = source.identity ? source.identity(path) : std::wstring();
        if (!taken.insert(key.empty() ? FoldedName(path) : key).second) return;
        if (choice.skipPacked && source.packed && source.packed(path)) {
            ++scan.packedSkipped;
            return;
        }
        scan.files.push_back(path);
        scan.sizes.push_back(size < 0 && source.size ? source.size(path) : size);
        folders.insert(FoldedName(FolderPart(path)));
        if (progress && scan.files.size() % 256 == 0) progress(scan.files.size());
    };
    // A folder's files, then its sub-folders' depth first, in the listing's order. Links are
    // not followed (a junction may lead back up, or anywhere).
    auto gather = [&](const std::wstring& folder) {
        std::vector<std::wstring> pending{folder};
        while (!pending.empty() && !stopped()) {
            const std::wstring path = pending.back();
            pending.pop_back();
            std::vector<std::wstring> below;
            for (const auto& entry : source.list(path)) {
                if (stopped()) return;
                if (!entry.isFolder && source.accept(entry.name))
                    take(JoinPath(path, entry.name), entry.size);
                else if (entry.isFolder && !entry.isLink && choice.subfolders)
                    below.push_back(JoinPath(path, entry.name));
            }
            pending.insert(pending.end(), below.rbegin(), below.rend());
        }
    };
    for (const auto& path : dropped) {
        if (stopped()) break;
        if (source.isFolder(path))
            gather(path);
        else
            take(path, -1);
    }
    scan.folders = folders.size();
    return scan;
}

std::wstring BatchRefusal(const JobForm& form, IJobDisk& disk) {
    if (!disk.FileExists(form.upx)) return Widen8(BytsToEncStr2(texts::MsgNoUpx));
    if (form.level.empty()) return Widen8(BytsToEncStr2(texts::MsgNoLevel));
    return {};
}

std::wstring BatchDisk::ShortPath(const std::wstring& path) {
    if (path != program_) return disk_.ShortPath(path);
    if (!programShort_) programShort_ = disk_.ShortPath(path);
    return *programShort_;
}

std::wstring BatchDisk::LongPath(const std::wstring& path) {
    const std::wstring folder = FolderPart(path);
    if (folder.empty() || folder == path) return disk_.LongPath(path);
    const std::wstring name = disk_.LongName(path);
    if (name.empty()) return path;  // as the long form of a path that is not there
    auto known = longFolders_.find(folder);
    if (known == longFolders_.end()) known = longFolders_.emplace(folder, disk_.LongPath(folder)).first;
    return JoinPath(known->second, name);
}

BatchJob PrepareBatchJob(JobForm form, const std::wstring& file, IJobDisk& disk) {
    form.source = form.target = file;
    Answering answering;
    BatchJob job;
    job.plan = PrepareJob(form, disk, answering);
    if (job.plan.way == RunWay::None) job.refusal = answering.said;
    return job;
}

std::wstring FinishBatchJob(const JobPlan& plan, const RunOutcome& outcome, IJobDisk& disk) {
    Answering answering;
    FinishJob(plan, outcome, disk, answering);
    return answering.said;
}

JobForm CheckForm(const JobForm& form) {
    JobForm check = form;
    check.decompress = check.listFlag = false;
    check.testFlag = true;
    return check;
}

std::wstring ResultWord(BatchResult result) {
    switch (result) {
        case BatchResult::Waiting: return L"waiting";
        case BatchResult::Working: return L"working";
        case BatchResult::Done: return L"done";
        case BatchResult::Warning: return L"warning";
        case BatchResult::AlreadyPacked: return L"already packed";
        case BatchResult::Error: return L"failed";
        case BatchResult::PutBack: return L"put back";
        case BatchResult::NotDone: break;
    }
    return L"not done";
}

BatchResult ResultOfExitCode(std::uint32_t exitCode) {
    if (exitCode == 0) return BatchResult::Done;
    if (exitCode == 2) return BatchResult::Warning;
    return BatchResult::Error;
}

std::wstring RatioText(std::int64_t before, std::int64_t after) {
    if (before <= 0 || after < 0) return {};
    // Rounded to a tenth of a per cent in integers: no locale's decimal comma sneaks in.
    const std::int64_t tenths = (after * 1000 + before / 2) / before;
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L"%";
}

}  // namespace zandrel
