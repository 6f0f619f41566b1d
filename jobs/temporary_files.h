#pragma once
// The temporary files of one job: removed when the owner goes, whatever
// happened to the run (a moved result is simply no longer there).
#include <string>
#include <vector>

namespace zandrel {

class TemporaryFiles {
public:
    explicit TemporaryFiles(std::vector<std::wstring> paths) : paths_(std::move(paths)) {}
    ~TemporaryFiles() { RemoveAll(); }
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    void RemoveAll();
    const std::vector<std::wstring>& Paths() const { return paths_; }

private:
    std::vector<std::wstring> paths_;
};

}  // namespace zandrel
