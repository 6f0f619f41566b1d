#pragma once
// The batch window: a batch's files in a table (one row each, in the batch's
// order or sorted by a column), a progress bar and line (also on the task bar
// button), Stop, UPX's output for one file, and after the end the totals, copy,
// CSV and undo. It shows a TBatchRun its owner keeps; it never touches files
// itself except the CSV it is asked to write.
#include <functional>
#include <string>
#include <vector>

#include "batch/batch_table.h"
#include "framework/controls.h"
#include "framework/dialogs.h"
#include "framework/taskbar.h"
#include "framework/window.h"
#include "jobs/batch_run.h"

namespace zandrel {

class TBatchWindow : public Window {
public:
    // Made hidden, owned by the application's window like the main window.
    explicit TBatchWindow(IDialogService& dialogs);
    ~TBatchWindow() override;

    // Shows `batch` (kept by the owner until OnForget) under a caption naming the job.
    void ShowBatch(const TBatchRun& batch, const std::wstring& job);
    // The batch's news: a file's row changed; the whole batch ended.
    void FileChanged(std::size_t index);
    void OutputCame(std::size_t index);  // UPX wrote more for a file at work
    void BatchEnded();
    // The batch is about to go: the window lets go of it first (and shows no rows).
    void LetGo();
    bool Showing() const { return IsWindowVisible(Handle()) != FALSE; }
    // Shown again (a batch closed while stopping, asked about by another job).
    void BringBack();

    // Stop pressed (or a close during the run answered Yes): the owner stops the batch.
    std::function<void()> OnStop;
    // Undo asked and confirmed: the owner puts the files back and names those left as they were.
    std::function<std::vector<std::size_t>()> OnUndo;
    // Asked when nothing could go back: the batch stops offering those files.
    std::function<void()> OnForgetUndo;
    // The window was closed after the batch ended: the owner lets the batch go.
    std::function<void()> OnForget;

    // The controls, as a user meets them (tests drive these).
    Label lblProgress;
    Control pbProgress;
    Control lvFiles;
    Label lblOutput;
    Edit edOutput;
    CheckBox cbFailuresFirst;
    Button btnCopy, btnSave, btnUndo, btnStop, btnClose;

    // What the table shows now: the files' indices, row by row.
    const std::vector<std::size_t>& Rows() const { return rows_; }
    // The text of a cell as the table shows it (row as shown, not the batch's index).
    std::wstring Cell(int row, BatchColumn column) const;
    void SortBy(BatchColumn column);  // as a click on the column's heading
    void ShowOutputOfFocused();       // as a double click or Enter on a row
    void CopySelected() const;        // as Copy or Ctrl+C
    // Brings the table up to date now (changes are otherwise shown a moment later).
    void Refresh();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    void AddColumns() const;
    void Layout();
    void CloseAsked();
    void SaveCsv();
    void AskUndo();
    void TellWhatStayed(const std::vector<std::size_t>& left);
    void ScheduleRefresh();
    // The table, bar and line brought up to date; the whole table painted again, or only
    // the rows of the files changed since the last time when their order stayed.
    void Update(bool allRows);
    void RedrawRowsOf(const std::vector<std::size_t>& files) const;
    void ShowSortArrow() const;
    void ShowTaskbarProgress(TaskbarState state, std::size_t done, std::size_t total);
    void ShowOutputOf(std::size_t file);
    std::vector<std::size_t> SelectedFiles() const;
    LRESULT ListNotify(const NMHDR& header);

    IDialogService& dialogs_;
    const TBatchRun* batch_ = nullptr;
    std::wstring job_;
    BatchView view_;
    std::vector<std::size_t> rows_;
    bool ended_ = false, refreshPending_ = false, stopAsked_ = false;
    Scaler scale_;
    static constexpr std::size_t kNoFile = static_cast<std::size_t>(-1);
    std::size_t outputOf_ = kNoFile;  // the file whose output the pane shows
    static constexpr std::size_t kRowsRedrawnAlone = 64;  // more changed files: the whole table is painted
    std::vector<std::size_t> changed_;                     // files changed since the last update
    std::size_t shownRange_ = kNoFile, shownFinished_ = kNoFile;  // what the bar was told
    WPARAM serial_ = 0;               // of the batch shown: a late "forget", or an answer given after another batch came, is dropped
    UniqueFont font_, outputFont_;
    UINT fontDpi_ = 0;
    FocusMemory focus_;
    struct TaskbarShown {
        TaskbarState state = TaskbarState::None;
        std::size_t done = 0, total = 0;
        bool operator==(const TaskbarShown&) const = default;
    } taskbarShown_;  // what the task bar button was told
};

}  // namespace zandrel
