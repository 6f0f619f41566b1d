#pragma once
// The working copies of one job: removed when the owner goes, whatever
// happened to the run (a moved result is simply no longer there). Each is
// noted in the settings while it exists, so that copies a program could not
// remove (it was killed, or the session ended) go at its next start.
#include <string>
#include <vector>

namespace zandrel {

class TemporaryFiles {
public:
    // `recordKey`: the settings key (below HKEY_CURRENT_USER) where they are noted; empty: nowhere.
    TemporaryFiles(std::vector<std::wstring> paths, std::wstring recordKey);
    ~TemporaryFiles() { RemoveAll(); }
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    void RemoveAll();
    const std::vector<std::wstring>& Paths() const { return paths_; }

    // Removes the working copies noted by programs that are no longer running.
    // Only files with the plain working-copy name are ever removed.
    static void RemoveLeftovers(const std::wstring& recordKey);

private:
    std::vector<std::wstring> paths_;
    std::wstring recordKey_;
};

}  // namespace zandrel
