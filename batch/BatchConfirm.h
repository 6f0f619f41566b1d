#pragma once
// The question before a batch starts: the job with its options, how many files
// in which folders, the first names, and the choices to include sub-folders and
// to leave out files UPX has packed already. The files are counted on a thread
// of their own, so a folder of many thousand files never freezes the window;
// Start (Enter) starts the files counted, once counted; Escape cancels and
// nothing happens.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "framework/controls.h"
#include "jobs/batch.h"

namespace zandrel {

class TBatchConfirm : public Window {
public:
    // Characters of a name line before it is cut in the middle: what the box shows of
    // wide letters at any DPI.
    static constexpr std::size_t kLongestName = 64;
    // `source` is used on the counting thread: its functions must be safe there.
    TBatchConfirm(HWND owner, std::wstring job, std::vector<std::wstring> dropped, BatchSource source,
                  bool compresses);
    ~TBatchConfirm() override;

    // Shows the question and returns the batch's files, or nothing when cancelled.
    std::optional<BatchScan> Ask();
    // More files for the question while it is up (another start of one selection in
    // Explorer): they are counted with the others, and a Start pressed before waits
    // to be pressed again. False once the question is answered.
    bool AddFiles(const std::vector<std::wstring>& files);

    Label lblJob, lblCount, lblNames;
    CheckBox cbSubfolders, cbSkipPacked;
    Button btnStart, btnCancel;

    bool Counting() const { return counting_; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Shared;  // what the counting thread hands over
    void CreateControls(const std::wstring& job, bool compresses);
    void OfferSubfolders(const std::vector<std::wstring>& paths);
    void Layout();
    void Recount();
    void StopCounting();
    void ShowCount(bool done);
    void Answer(bool start);

    HWND owner_;
    std::vector<std::wstring> dropped_;
    BatchSource source_;
    std::shared_ptr<Shared> shared_;
    std::thread counter_;
    BatchScan scan_;
    unsigned generation_ = 0;  // of the count running now: an older count's news is dropped
    bool counting_ = false, closed_ = false, started_ = false;
    bool startAsked_ = false;  // Start pressed while counting
    Scaler scale_;
    UniqueFont font_, boldFont_;
};

}  // namespace zandrel
