#include "app/dialog_folders.h"

#include "jobs/job_command.h"

namespace zandrel {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) return true;
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

std::wstring DialogStartFolder(const std::wstring& fieldPath, const std::wstring& storedFolder,
                               const std::function<bool(const std::wstring&)>& folderExists) {
    // A relative name would be taken in whatever folder the program happens to be in.
    const auto folder = FolderPart(fieldPath);
    if (IsAbsolutePath(folder) && folderExists(folder)) return folder;
    if (!storedFolder.empty() && folderExists(storedFolder)) return storedFolder;
    return {};
}

}  // namespace zandrel
