#include "jobs/batch.h"

#include <cwctype>
#include <unordered_set>

#include "app/descrambler.h"
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

std::wstring SizeOrDash(std::int64_t size) { return size < 0 ? std::wstring(L"-") : GroupedDigits(size); }

std::wstring ResultText(const BatchFileOutcome& file) {
    switch (file.result) {
        case BatchResult::Done: return L"done";
        case BatchResult::Warning: return L"warning";
        case BatchResult::AlreadyPacked: return L"already packed";
        case BatchResult::Error: return L"error";
        case BatchResult::NotDone: break;
    }
    return L"not done";
}

}  // namespace

std::vector<std::wstring> BatchFiles(const std::vector<std::wstring>& dropped,
                                     const std::function<bool(const std::wstring& path)>& isFolder,
                                     const std::function<std::vector<FolderEntry>(const std::wstring& folder)>& list,
                                     const std::function<bool(const std::wstring& name)>& accept,
                                     const std::function<std::wstring(const std::wstring& path)>& identity) {
    std::vector<std::wstring> files;
    std::unordered_set<std::wstring> taken;
    auto take = [&](const std::wstring& path) {
        const auto slash = path.find_last_of(L"\\/:");
        const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        // Zandrel's own copies (backups, working and private copies) are never packed.
        if (IsBackupName(name) || name.rfind(kPlainNamePrefix, 0) == 0) return;
        const std::wstring key = identity ? identity(path) : std::wstring();
        if (taken.insert(key.empty() ? FoldedName(path) : key).second) files.push_back(path);
    };
    for (const auto& path : dropped) {
        if (!isFolder(path)) {
            take(path);
            continue;
        }
        for (const auto& entry : list(path))
            if (!entry.isFolder && accept(entry.name)) take(JoinPath(path, entry.name));
    }
    return files;
}

std::wstring BatchRefusal(const JobForm& form, IJobDisk& disk) {
    if (!disk.FileExists(form.upx)) return Widen8(BytsToEncStr2(texts::MsgNoUpx));
    if (form.level.empty()) return Widen8(BytsToEncStr2(texts::MsgNoLevel));
    return {};
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

std::vector<std::wstring> SummaryLines(const std::vector<BatchFileOutcome>& files) {
    std::vector<std::wstring> lines;
    lines.push_back(L"Summary");
    lines.push_back(L"Before\tAfter\tRatio\tResult\tFile");
    std::int64_t before = 0, after = 0;
    int done = 0, warnings = 0, packed = 0, errors = 0, notDone = 0;
    for (const auto& file : files) {
        std::wstring row = SizeOrDash(file.sizeBefore) + L"\t" + SizeOrDash(file.sizeAfter) + L"\t";
        const std::wstring ratio = RatioText(file.sizeBefore, file.sizeAfter);
        row += (ratio.empty() ? std::wstring(L"-") : ratio) + L"\t" + ResultText(file) + L"\t" + file.path;
        if (!file.reason.empty()) row += L": " + file.reason;
        lines.push_back(row);
        switch (file.result) {
            case BatchResult::Done:
                ++done;
                if (file.sizeBefore >= 0 && file.sizeAfter >= 0) before += file.sizeBefore, after += file.sizeAfter;
                break;
            case BatchResult::Warning: ++warnings; break;
            case BatchResult::AlreadyPacked: ++packed; break;
            case BatchResult::Error: ++errors; break;
            case BatchResult::NotDone: ++notDone; break;
        }
    }
    const std::wstring ratio = RatioText(before, after);
    lines.push_back(GroupedDigits(before) + L"\t" + GroupedDigits(after) + L"\t" + (ratio.empty() ? std::wstring(L"-") : ratio) +
                    L"\t\tTotal of the files done");
    lines.push_back(std::to_wstring(files.size()) + L" files: " + std::to_wstring(done) + L" done, " +
                    (packed > 0 ? std::to_wstring(packed) + L" already packed, " : std::wstring()) +
                    std::to_wstring(warnings) + L" with a warning, " + std::to_wstring(errors) + L" with an error, " +
                    std::to_wstring(notDone) + L" not done.");
    return lines;
}

}  // namespace zandrel
