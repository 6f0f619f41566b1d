#pragma once
// One batch from many starts. Explorer starts "zandrel.exe /batch FILE" once per
// selected file, nearly at once. The first start collects: it holds a named mutex
// and a message-only window, and takes the others' files (WM_COPYDATA) until they
// stop coming; the others hand theirs over and end. A busy machine may start them
// seconds apart, so the collector goes on taking files while its batch question is
// open (they join the count); once that is answered it refuses, and a start that
// meets no collector collects itself. Only a /batch start collects: a Zandrel
// started otherwise is never asked.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/win.h"
#include "shell/hand_over.h"

namespace zandrel {

inline constexpr const wchar_t* kCollectorClass = L"ZandrelBatchCollector";
inline constexpr const wchar_t* kCollectorMutex = L"Local\\ZandrelBatchCollector";

using BatchFilesTaker = std::function<bool(const std::vector<std::wstring>&)>;

// The collecting start's mutex and window, for as long as it takes files.
class BatchCollector {
public:
    BatchCollector(UniqueHandle mutex, std::vector<std::wstring> own);
    ~BatchCollector();
    BatchCollector(const BatchCollector&) = delete;
    BatchCollector& operator=(const BatchCollector&) = delete;

    // Gathers files until they stop coming: this start's own first, then the others'.
    std::vector<std::wstring> CollectFirst();
    // Files that come later go to `take` (true: taken); those that came before it was
    // given are handed to it at once. An empty `take` refuses every later file.
    void PassLateFilesTo(BatchFilesTaker take);
    bool Collecting() const;

private:
    class Window;
    bool Take(const std::vector<std::wstring>& files);

    UniqueHandle mutex_;
    FileCollection first_;               // the first collection: this start's own, then the others'
    std::vector<std::wstring> waiting_;  // later files, until the question is up
    std::size_t lateTaken_ = 0;
    std::unique_ptr<Window> window_;
    BatchFilesTaker take_;
    bool refusing_ = false;
};

struct CollectedBatch {
    std::vector<std::wstring> files;
    // Still takes files from later starts; nullptr where none could be kept.
    std::unique_ptr<BatchCollector> collector;
};

// Every file of the batch when this start is the one to ask (its own first), or
// nothing when another start took them. `own` are full paths.
std::optional<CollectedBatch> CollectBatchFiles(const std::vector<std::wstring>& own);

// Sends the files to a collector's window; true when it took them.
bool HandOverFiles(HWND collector, const std::vector<std::wstring>& files);

}  // namespace zandrel
