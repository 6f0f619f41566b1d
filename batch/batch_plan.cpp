#include "batch/batch_plan.h"

#include "jobs/job_report.h"

namespace zandrel {
namespace {

std::wstring Files(std::size_t count) { return GroupedDigits(static_cast<std::int64_t>(count)) + (count == 1 ? L" file" : L" files"); }

}  // namespace

std::wstring JobDescription(const JobForm& form) {
    std::wstring job;
    if (form.listFlag)
        job = L"List";
    else if (form.testFlag)
        job = L"Test";
    else if (form.decompress)
        job = L"Decompress";
    else if (form.level == L"best")
        job = L"Compress at the best level";
    else
        job = L"Compress at level " + form.level;
    job += L" (" + JobSwitches(form) + L")";
    if (!form.testFlag && !form.listFlag) job += form.backup ? L", with backups" : L", without backups";
    return job;
}

std::wstring CountLine(const BatchScan& scan, bool counting) {
    if (counting) return Files(scan.files.size()) + L" so far...";
    std::wstring line = Files(scan.files.size());
    if (scan.folders > 1)
        line += L" in " + GroupedDigits(static_cast<std::int64_t>(scan.folders)) + L" folders";
    else if (!scan.files.empty())
        line += L" in " + FolderPart(scan.files.front());
    if (scan.packedSkipped > 0)
        line += L"; " + Files(scan.packedSkipped) + L" packed already, left out";
    return line;
}

std::wstring FirstNames(const std::vector<std::wstring>& files, std::size_t shown) {
    std::wstring text;
    for (std::size_t i = 0; i < files.size() && i < shown; ++i) text += (i ? L"\r\n" : L"") + files[i];
    if (files.size() > shown) text += L"\r\n... and " + GroupedDigits(static_cast<std::int64_t>(files.size() - shown)) + L" more";
    return text;
}

}  // namespace zandrel
