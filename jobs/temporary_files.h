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
    // `originalOf`: set for a private copy, the file it is the original of (it may be
    // the only original left, so a later start never just removes it).
    TemporaryFiles(std::vector<std::wstring> paths, std::wstring recordKey, std::wstring originalOf = {});
    ~TemporaryFiles() { RemoveAll(); }
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    void RemoveAll();
    // Notes one file under `recordKey` as this program's (false when it cannot), or lets its note go.
    static bool Note(const std::wstring& recordKey, const std::wstring& path, const std::wstring& originalOf = {});
    static void Forget(const std::wstring& recordKey, const std::wstring& path);
    static bool IsNoted(const std::wstring& recordKey, const std::wstring& path);
    // Lets go of the files without removing them; their notes stay for the next start.
    void Keep();
    const std::vector<std::wstring>& Paths() const { return paths_; }

    // Clears up after programs that are no longer running: their working copies
    // are removed (only files with the plain working-copy name); a private copy
    // goes only when the file it was made of holds the same bytes again, else it
    // takes that file's place when the file is missing, or is kept beside it under
    // a backup name. A record whose program may still run, or whose file cannot be
    // dealt with now, stays for the next start; nothing here waits.
    static void RemoveLeftovers(const std::wstring& recordKey);

private:
    std::vector<std::wstring> paths_;
    std::wstring recordKey_;
    std::wstring originalOf_;
};

}  // namespace zandrel
