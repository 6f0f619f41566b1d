#include "jobs/temporary_files.h"

#include "framework/files.h"

namespace zandrel {

void TemporaryFiles::RemoveAll() {
    for (const auto& path : paths_) {
        const auto api = ApiPath(path);
        if (GetFileAttributesW(api.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        // A copy of a read-only source is read-only too.
        SetFileAttributesW(api.c_str(), FILE_ATTRIBUTE_NORMAL);
        // A UPX that was just ended may hold it for a moment longer.
        for (int attempt = 0; attempt < 50 && !DeleteFileW(api.c_str()); ++attempt) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND) break;
            Sleep(20);
        }
    }
    paths_.clear();
}

}  // namespace zandrel
