#include "batch/batch_plan.h"

#include "jobs/job_report.h"

namespace zandrel {
namespace {

bool IsIn(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return folder.back() == L'\\' || path[folder.size()] == L'\\';
}

// A long line keeps its beginning and its end (the file's name) with "..." between.
std::wstring CutInTheMiddle(const std::wstring& line, std::size_t longest) {
    if (line.size() <= longest) return line;
    const std::size_t end = longest * 2 / 3, begin = longest - end - 3;
    return line.substr(0, begin) + L"..." + line.substr(line.size() - end);
}

}  // namespace

std::wstring FilesCounted(std::size_t count) {
    return GroupedDigits(static_cast<std::int64_t>(count)) + (count == 1 ? L" file" : L" files");
}

std::wstring JobDescription(const JobForm& form) {
    std::wstring job;
    if (form.listFlag)
        job = L"List";
    else if (form.testFlag)
        job = L"Test";
    else if (form.decompress)
        job = L"Decompress";
    else if (form.advanced.method == UpxMethod::Brute || form.advanced.method == UpxMethod::UltraBrute)
        job = L"Compress at the best level, trying every method";  // UPX's brute force takes the best level
    else if (form.level == L"best")
        job = L"Compress at the best level";
    else
        job = L"Compress at level " + form.level;
    job += L" (" + JobSwitches(form) + L")";
    if (!form.testFlag && !form.listFlag) job += form.backup ? L", with backups" : L", without backups";
    return job;
}

std::wstring CountLine(const BatchScan& scan, bool counting) {
    if (counting) return FilesCounted(scan.files.size()) + L" so far...";
    std::wstring line = FilesCounted(scan.files.size());
    if (scan.folders > 1)
        line += L" in " + GroupedDigits(static_cast<std::int64_t>(scan.folders)) + L" folders";
    else if (!scan.files.empty())
        line += L" in " + FolderPart(scan.files.front());
    if (scan.folders > 1)
        if (const std::wstring common = CommonFolder(scan.files); !common.empty()) line += L" under " + common;
    if (scan.packedSkipped > 0)
        line += L"; " + FilesCounted(scan.packedSkipped) + L" packed already, left out";
    return line;
}

std::wstring CommonFolder(const std::vector<std::wstring>& files) {
    if (files.empty()) return {};
    std::wstring folder = FolderPart(files.front());
    for (const auto& path : files)
        while (!IsIn(path, folder)) {
            const std::wstring up = FolderPart(folder);
            if (up.empty() || up == folder) return {};
            folder = up;
        }
    return folder;
}

std::wstring FirstNames(const std::vector<std::wstring>& files, std::size_t shown, std::size_t longest) {
    // The count line names the folder: the names go from there.
    const std::wstring folder = CommonFolder(files);
    const std::size_t from = folder.empty() ? 0 : folder.size() + (folder.back() == L'\\' ? 0 : 1);
    std::wstring text;
    for (std::size_t i = 0; i < files.size() && i < shown; ++i)
        text += (i ? L"\r\n" : L"") + CutInTheMiddle(files[i].substr(from), longest);
    if (files.size() > shown) text += L"\r\n... and " + GroupedDigits(static_cast<std::int64_t>(files.size() - shown)) + L" more";
    return text;
}

}  // namespace zandrel
