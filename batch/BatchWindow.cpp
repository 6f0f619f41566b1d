#include "batch/BatchWindow.h"

#include <algorithm>
#include <cstring>

#include <commctrl.h>

#include "batch/batch_plan.h"
#include "framework/application.h"
#include "framework/files.h"
#include "jobs/job_report.h"

namespace zandrel {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 250;           // changes reach the table at most this often
constexpr UINT kForgetMessage = WM_APP + 1;  // the batch goes after its own call has returned
constexpr int kDesignWidth = 900, kDesignHeight = 560, kMargin = 10, kButtonW = 104, kButtonH = 28;
constexpr int kOutputH = 120;
constexpr const wchar_t* kOutputHint = L"UPX's output: double-click a file, or press Enter on it";
constexpr int kColumnWidths[kBatchColumns] = {160, 200, 92, 92, 64, 100, 220};

// Enter shows the focused file's output, Ctrl+C copies, Ctrl+A selects all; Escape
// closes the window as its close button does.
LRESULT CALLBACK ListKeys(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* window = reinterpret_cast<TBatchWindow*>(data);
    if (msg == WM_KEYDOWN) {
        const bool control = GetKeyState(VK_CONTROL) < 0;  // asked on a key only: a server call under Wine
        if (wParam == VK_RETURN) return window->ShowOutputOfFocused(), 0;
        if (wParam == VK_ESCAPE) return PostMessageW(window->Handle(), WM_CLOSE, 0, 0), 0;
        if (control && wParam == 'C') return window->CopySelected(), 0;
        if (control && wParam == 'A') {
            ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
            return 0;
        }
    }
    if (msg == WM_GETDLGCODE && lParam) {
        const auto* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == WM_KEYDOWN && (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE))
            return DefSubclassProc(list, msg, wParam, lParam) | DLGC_WANTMESSAGE;
    }
    return DefSubclassProc(list, msg, wParam, lParam);
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool put = false;
    if (memory) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!put) GlobalFree(memory);
    }
    CloseClipboard();
    return put;
}

}  // namespace

TBatchWindow::TBatchWindow(IDialogService& dialogs) : dialogs_(dialogs) {
    RegisterClassOnce(L"ZandrelBatch", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    scale_ = Scaler(GetDpiForSystem());
    CreateHandle(L"ZandrelBatch", kExStyle, kStyle, L"Batch", CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                 Application::Instance().Handle());
    scale_ = Scaler(GetDpiForWindow(Handle()));
    CreateControls();
    RECT r{0, 0, scale_(kDesignWidth), scale_(kDesignHeight)};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, scale_.Dpi());
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    Application::Instance().AddDialogWindow(Handle());
}

TBatchWindow::~TBatchWindow() {
    Application::Instance().RemoveDialogWindow(Handle());
    ShowTaskbarProgress(TaskbarState::None, 0, 0);
}

void TBatchWindow::CreateControls() {
    const HWND self = Handle();
    lblProgress.Create(self, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, {}, scale_);
    pbProgress.Create(self, PROGRESS_CLASSW, L"", 0, {}, scale_);
    lvFiles.Create(self, WC_LISTVIEWW, L"",
                   LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER, {}, scale_);
    // A cut cell (a long reason) shows whole in a tip when the mouse rests on it.
    ListView_SetExtendedListViewStyle(lvFiles.Handle(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    SetWindowSubclass(lvFiles.Handle(), ListKeys, 1, reinterpret_cast<DWORD_PTR>(this));
    lblOutput.Create(self, L"STATIC", kOutputHint,
                     SS_LEFTNOWORDWRAP | SS_NOPREFIX, {}, scale_);
    edOutput.Create(self, L"EDIT", L"",
                    WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL | ES_MULTILINE | ES_READONLY | WS_TABSTOP | WS_BORDER,
                    {}, scale_);
    cbFailuresFirst.Create(self, L"BUTTON", L"&Failures first", BS_AUTOCHECKBOX | WS_TABSTOP, {}, scale_);
    btnCopy.Create(self, L"BUTTON", L"&Copy", BS_PUSHBUTTON | WS_TABSTOP, {}, scale_);
    btnSave.Create(self, L"BUTTON", L"&Save as CSV...", BS_PUSHBUTTON | WS_TABSTOP, {}, scale_);
    btnUndo.Create(self, L"BUTTON", L"&Undo...", BS_PUSHBUTTON | WS_TABSTOP, {}, scale_);
    btnStop.Create(self, L"BUTTON", L"S&top", BS_PUSHBUTTON | WS_TABSTOP, {}, scale_);
    btnClose.Create(self, L"BUTTON", L"Close", BS_PUSHBUTTON | WS_TABSTOP, {}, scale_);
    AddColumns();
    cbFailuresFirst.OnClick = [this] {
        view_.failuresFirst = cbFailuresFirst.Checked();
        Refresh();
    };
    btnCopy.OnClick = [this] { CopySelected(); };
    btnSave.OnClick = [this] { SaveCsv(); };
    btnUndo.OnClick = [this] { AskUndo(); };
    btnStop.OnClick = [this] {
        stopAsked_ = true;
        if (OnStop) OnStop();
        Refresh();
    };
    btnClose.OnClick = [this] { CloseAsked(); };
}

void TBatchWindow::AddColumns() const {
    for (int i = 0; i < kBatchColumns; ++i) {
        const std::wstring caption = ColumnCaption(static_cast<BatchColumn>(i));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        const auto kind = static_cast<BatchColumn>(i);
        const bool number = kind == BatchColumn::SizeBefore || kind == BatchColumn::SizeAfter || kind == BatchColumn::Ratio;
        column.fmt = number && i > 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = scale_(kColumnWidths[i]);
        column.pszText = const_cast<wchar_t*>(caption.c_str());
        ListView_InsertColumn(lvFiles.Handle(), i, &column);
    }
}

void TBatchWindow::Layout() {
    if (!font_ || fontDpi_ != scale_.Dpi()) {
        font_ = MakeFont(scale_, L"MS Shell Dlg 2", 14);
        // UPX's output is laid out in columns (a list's table): a fixed-pitch font keeps them.
        outputFont_ = MakeFont(scale_, L"Courier New", 15);
        fontDpi_ = scale_.Dpi();
    }
    RECT client;
    GetClientRect(Handle(), &client);
    const int w = client.right, h = client.bottom, m = scale_(kMargin);
    const int bw = scale_(kButtonW), bh = scale_(kButtonH), line = scale_(20);
    auto place = [&](const Control& c, int x, int y, int cw, int ch) {
        SendMessageW(c.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        SetWindowPos(c.Handle(), nullptr, x, y, std::max(cw, 0), std::max(ch, 0), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(lblProgress, m, m, w - 2 * m, line);
    place(pbProgress, m, m + line, w - 2 * m, scale_(16));
    const int buttonsY = h - m - bh, outputH = scale_(kOutputH);
    const int outputY = buttonsY - m - outputH, outputLabelY = outputY - line;
    const int listY = m + line + scale_(16) + m;
    place(lvFiles, m, listY, w - 2 * m, outputLabelY - m / 2 - listY);
    place(lblOutput, m, outputLabelY, w - 2 * m, line);
    place(edOutput, m, outputY, w - 2 * m, outputH);
    SendMessageW(edOutput.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(outputFont_.get()), FALSE);
    place(cbFailuresFirst, m, buttonsY, scale_(130), bh);
    int x = w - m;
    for (const Button* button : {&btnClose, &btnStop, &btnUndo, &btnSave, &btnCopy}) {
        const int width = button == &btnSave ? scale_(kButtonW + 26) : bw;
        x -= width;
        place(*button, x, buttonsY, width, bh);
        x -= scale_(6);
    }
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TBatchWindow::ShowBatch(const TBatchRun& batch, const std::wstring& job) {
    batch_ = &batch;
    job_ = job;
    ended_ = stopAsked_ = false;
    view_ = {};
    cbFailuresFirst.SetChecked(false);
    edOutput.SetText(L"");
    lblOutput.SetText(kOutputHint);
    outputOf_ = kNoFile;
    changed_.clear();
    shownRange_ = shownFinished_ = kNoFile;
    ++serial_;
    ShowSortArrow();
    SetWindowTextW(Handle(), (L"Batch: " + job).c_str());
    Refresh();
    // The first row has the focus, so Enter shows its output before any click.
    ListView_SetItemState(lvFiles.Handle(), 0, LVIS_FOCUSED, LVIS_FOCUSED);
    ShowWindow(Handle(), SW_SHOWNORMAL);
    SetForegroundWindow(Handle());
    lvFiles.SetFocus();
}

void TBatchWindow::FileChanged(std::size_t index) {
    if (changed_.size() <= kRowsRedrawnAlone) changed_.push_back(index);
    ScheduleRefresh();
}

void TBatchWindow::OutputCame(std::size_t index) {
    if (index == outputOf_) ScheduleRefresh();  // the pane follows its file's output
}

void TBatchWindow::BringBack() {
    if (Showing()) return (void)SetForegroundWindow(Handle());
    ShowWindow(Handle(), SW_SHOWNORMAL);
    Refresh();
}

void TBatchWindow::BatchEnded() {
    ended_ = true;
    Refresh();
    // Closed during the run: nothing is left to show, and the batch may go.
    if (stopAsked_ && !Showing()) PostMessageW(Handle(), kForgetMessage, serial_, 0);
}

void TBatchWindow::LetGo() {
    KillTimer(Handle(), kRefreshTimer);
    outputOf_ = kNoFile;
    refreshPending_ = false;
    batch_ = nullptr;
    ++serial_;
    rows_.clear();
    changed_.clear();
    shownRange_ = shownFinished_ = kNoFile;
    ListView_SetItemCountEx(lvFiles.Handle(), 0, 0);
    ShowTaskbarProgress(TaskbarState::None, 0, 0);
}

void TBatchWindow::ScheduleRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    SetTimer(Handle(), kRefreshTimer, kRefreshMs, nullptr);
}

std::wstring TBatchWindow::Cell(int row, BatchColumn column) const {
    if (!batch_ || row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
    return CellText(batch_->Outcomes()[rows_[static_cast<std::size_t>(row)]], column);
}

std::vector<std::size_t> TBatchWindow::SelectedFiles() const {
    std::vector<std::size_t> files;
    for (int row = ListView_GetNextItem(lvFiles.Handle(), -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(lvFiles.Handle(), row, LVNI_SELECTED))
        if (static_cast<std::size_t>(row) < rows_.size()) files.push_back(rows_[static_cast<std::size_t>(row)]);
    return files;
}

void TBatchWindow::Refresh() { Update(true); }

void TBatchWindow::RedrawRowsOf(const std::vector<std::size_t>& files) const {
    // Rows out of sight are painted when they come into it: under Wine asking for a
    // row's repaint costs a look at its place even then.
    const HWND list = lvFiles.Handle();
    const int top = ListView_GetTopIndex(list), bottom = top + ListView_GetCountPerPage(list);
    std::vector<int> rowOf(rows_.size(), -1);
    for (std::size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row] < rowOf.size()) rowOf[rows_[row]] = static_cast<int>(row);
    for (const auto file : files)
        if (file < rowOf.size() && rowOf[file] >= top && rowOf[file] <= bottom) ListView_RedrawItems(list, rowOf[file], rowOf[file]);
}

void TBatchWindow::Update(bool allRows) {
    KillTimer(Handle(), kRefreshTimer);
    refreshPending_ = false;
    std::vector<std::size_t> changed;
    changed.swap(changed_);
    if (!batch_) return;
    const auto& files = batch_->Outcomes();
    const HWND list = lvFiles.Handle();
    const bool sameCount = rows_.size() == files.size();
    auto order = RowOrder(files, view_);
    const bool sameOrder = sameCount && order == rows_;
    // A sorted table may move rows: the selection and the focus follow their files
    // (asked of the list only then: under Wine each message to it costs server calls).
    const bool moves = sameCount && !sameOrder && (view_.sortBy || view_.failuresFirst);
    const auto selected = moves ? SelectedFiles() : std::vector<std::size_t>{};
    const int focusedRow = moves ? ListView_GetNextItem(list, -1, LVNI_FOCUSED) : -1;
    const std::size_t focused = focusedRow >= 0 && static_cast<std::size_t>(focusedRow) < rows_.size()
                                    ? rows_[static_cast<std::size_t>(focusedRow)] : files.size();
    rows_ = std::move(order);
    // Under Wine setting the count costs 10-40 ms, the same count too: only a new one is set.
    if (ListView_GetItemCount(list) != static_cast<int>(rows_.size()))
        ListView_SetItemCountEx(list, static_cast<int>(rows_.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    if (moves) {
        std::vector<bool> wasSelected(files.size());
        for (const auto file : selected) wasSelected[file] = true;
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (std::size_t row = 0; row < rows_.size(); ++row) {
            const bool isSelected = wasSelected[rows_[row]];
            const UINT state = (isSelected ? LVIS_SELECTED : 0u) | (rows_[row] == focused ? LVIS_FOCUSED : 0u);
            if (state) ListView_SetItemState(list, static_cast<int>(row), state, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    // Rows whose files changed are painted again, not the whole table (8 ms a page under Wine).
    if (allRows || !sameOrder || changed.size() > kRowsRedrawnAlone)
        InvalidateRect(list, nullptr, FALSE);
    else
        RedrawRowsOf(changed);
    std::size_t finished = 0, failed = 0;
    for (const auto& file : files) {
        finished += Finished(file.result);
        failed += file.result == BatchResult::Error;
    }
    // The bar paints at once on each message: told only what changed.
    if (const std::size_t range = std::max<std::size_t>(files.size(), 1); range != shownRange_) {
        SendMessageW(pbProgress.Handle(), PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
        shownRange_ = range;
        shownFinished_ = kNoFile;
    }
    if (finished != shownFinished_) SendMessageW(pbProgress.Handle(), PBM_SETPOS, finished, 0);
    shownFinished_ = finished;
    std::wstring line = ended_ ? TotalsLine(files, batch_->ChangesFiles()) : ProgressLine(files);
    if (!ended_ && stopAsked_) line += L"; stopping: the files at work are finished first";
    lblProgress.SetText(line);
    // A button about to be disabled gives the focus to the table first: keys never go nowhere.
    const bool stopOn = !ended_ && !stopAsked_, undoOn = ended_ && batch_->MayUndo();
    if ((!stopOn && GetFocus() == btnStop.Handle()) || (!undoOn && GetFocus() == btnUndo.Handle())) lvFiles.SetFocus();
    EnableWindow(btnStop.Handle(), stopOn);
    EnableWindow(btnUndo.Handle(), undoOn);
    if (outputOf_ < files.size()) ShowOutputOf(outputOf_);  // the pane follows a file at work
    // The button turns red after a failure and yellow while stopping, as the shell's own copies do.
    const TaskbarState state = ended_ ? TaskbarState::None
                               : stopAsked_ ? TaskbarState::Pausing
                               : failed ? TaskbarState::Failing : TaskbarState::Working;
    ShowTaskbarProgress(state, finished, files.size());
}

void TBatchWindow::ShowTaskbarProgress(TaskbarState state, std::size_t done, std::size_t total) {
    if (state == TaskbarState::None) done = total = 0;
    const TaskbarShown shown{state, done, total};
    if (shown == taskbarShown_) return;  // each call is a trip to the shell
    taskbarShown_ = shown;
    Application::Instance().Taskbar().Show(Application::Instance().Handle(), state, done, total);
}

void TBatchWindow::SortBy(BatchColumn column) {
    if (view_.sortBy == column)
        view_.ascending = !view_.ascending;
    else
        view_ = {column, true, view_.failuresFirst};
    ShowSortArrow();
    Refresh();
}

void TBatchWindow::ShowSortArrow() const {
    const HWND header = ListView_GetHeader(lvFiles.Handle());
    for (int i = 0; i < kBatchColumns; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, i, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (view_.sortBy && static_cast<int>(*view_.sortBy) == i) item.fmt |= view_.ascending ? HDF_SORTUP : HDF_SORTDOWN;
        Header_SetItem(header, i, &item);
    }
}

void TBatchWindow::ShowOutputOfFocused() {
    if (!batch_) return;
    const int row = ListView_GetNextItem(lvFiles.Handle(), -1, LVNI_FOCUSED);
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
    ShowOutputOf(rows_[static_cast<std::size_t>(row)]);
}

void TBatchWindow::ShowOutputOf(std::size_t file) {
    const auto& outcome = batch_->Outcomes()[file];
    std::wstring text;
    for (const auto& line : batch_->Output(file)) text += (text.empty() ? L"" : L"\r\n") + line;
    // The result and Zandrel's reason (where the original went, why a file was refused) too.
    text += L"\r\n---- " + ResultWord(outcome.result) + (outcome.reason.empty() ? L"" : L": " + outcome.reason);
    outputOf_ = file;
    lblOutput.SetText(L"UPX's output for " + FileNamePart(outcome.path) + L":");
    if (edOutput.Text() != text) edOutput.SetText(text);
}

void TBatchWindow::CopySelected() const {
    if (!batch_) return;
    auto files = SelectedFiles();
    if (files.empty()) files = rows_;  // nothing chosen: the whole table, as shown
    if (!PutOnClipboard(Handle(), RowsAsTabText(batch_->Outcomes(), files)))
        ShowErrorBox(dialogs_, Handle(), L"The rows could not be put on the clipboard. Try again.");
}

void TBatchWindow::SaveCsv() {
    if (!batch_) return;
    FileDialogRequest request;
    request.filter = L"CSV files (*.csv)|*.csv|All files (*.*)|*.*";
    request.title = L"Save the batch's table";
    request.fileName = L"batch.csv";
    request.mustExist = false;
    const WPARAM asked = serial_;
    const auto path = dialogs_.SaveFile(Handle(), request);
    if (!path) return;
    std::wstring file = *path;
    if (FileNamePart(file).find(L'.') == std::wstring::npos) file += L".csv";
    if (IsExistingFile(file) &&
        dialogs_.Box(Handle(), file + L" exists already. Replace it?", BoxKind::Confirm, BoxButtons::YesNo) !=
            BoxAnswer::Yes)
        return;
    if (serial_ != asked || !batch_)
        return ShowErrorBox(dialogs_, Handle(), L"Another batch took the window while the file was chosen. Nothing was "
                                                L"saved: save again to keep this batch's table.");
    if (!WriteFileWhole(file, RowsAsCsv(batch_->Outcomes(), rows_)))
        ShowErrorBox(dialogs_, Handle(), L"The table could not be saved as " + file +
                                             L" (the disk may be full, or the file in use). Nothing was changed there.");
}

void TBatchWindow::AskUndo() {
    if (!batch_ || !ended_) return;
    // The disk is looked at only now: at every refresh it stalled the window (1.3 s at 1,000 files).
    const std::size_t count = batch_->Undoable();
    if (count == 0) {
        if (OnForgetUndo) OnForgetUndo();  // Undo is not offered again for nothing
        Refresh();
        dialogs_.Box(Handle(), L"Nothing can be put back: the files this batch changed have changed since, or their "
                               L"backups are gone.", BoxKind::Information, BoxButtons::Ok);
        return;
    }
    const std::wstring text = L"Put back the originals of " + FilesCounted(count) +
                              L" this batch changed, from their backups? A file changed since the batch is left alone.";
    const WPARAM asked = serial_;
    if (dialogs_.Box(Handle(), text, BoxKind::Confirm, BoxButtons::YesNo) != BoxAnswer::Yes) return;
    if (serial_ != asked || !batch_) return;  // the question was about a batch that has gone
    const auto left = OnUndo ? OnUndo() : std::vector<std::size_t>{};
    Refresh();
    TellWhatStayed(left);
}

// The question promised these files; a row's reason alone is easily missed among many.
void TBatchWindow::TellWhatStayed(const std::vector<std::size_t>& left) {
    if (left.empty() || !batch_) return;
    constexpr std::size_t kNamed = 5;
    std::wstring names;
    for (std::size_t i = 0; i < left.size() && i < kNamed; ++i)
        names += (i ? L", " : L"") + FileNamePart(batch_->Outcomes()[left[i]].path);
    if (left.size() > kNamed) names += L" and " + GroupedDigits(static_cast<std::int64_t>(left.size() - kNamed)) + L" more";
    const bool one = left.size() == 1;
    ShowErrorBox(dialogs_, Handle(), FilesCounted(left.size()) +
                                         L" could not be put back: " + names + (one ? L". It is" : L". They are") +
                                         L" left as the batch made " + (one ? L"it" : L"them") +
                                         L"; the table gives the reason. Undo again to retry.");
}

void TBatchWindow::CloseAsked() {
    if (batch_ && !ended_) {
        const std::wstring text = L"The batch is still running. Stop it? The files UPX is working on are finished first.";
        const WPARAM asked = serial_;
        if (dialogs_.Box(Handle(), text, BoxKind::Confirm, BoxButtons::YesNo) != BoxAnswer::Yes) return;
        if (serial_ != asked) return;  // another batch came meanwhile: the question was not about it
        if (!ended_) {
            stopAsked_ = true;
            ShowWindow(Handle(), SW_HIDE);  // before the stop: a batch that ends at once is forgotten
            if (OnStop) OnStop();
            return;
        }
        // It ended while the question was up: closed as after its end.
    }
    ShowWindow(Handle(), SW_HIDE);
    PostMessageW(Handle(), kForgetMessage, serial_, 0);
}

LRESULT TBatchWindow::ListNotify(const NMHDR& header) {
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& info = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header));
            if (!(info.item.mask & LVIF_TEXT) || info.item.cchTextMax <= 0) return 0;
            const auto text = Cell(info.item.iItem, static_cast<BatchColumn>(info.item.iSubItem));
            lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
            return 0;
        }
        case LVN_COLUMNCLICK:
            SortBy(static_cast<BatchColumn>(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem));
            return 0;
        case NM_DBLCLK:
            ShowOutputOfFocused();
            return 0;
        default:
            return 0;
    }
}

LRESULT TBatchWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            // Enter and Escape from the dialog navigation: Enter is the focused button's; Escape closes.
            if (!lParam && LOWORD(wParam) == IDOK) return ClickFocusedPushButton(Handle()), 0;
            if (!lParam && LOWORD(wParam) == IDCANCEL) return CloseAsked(), 0;
            if (lParam && Control::Notify(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
            break;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
            if (header.hwndFrom == lvFiles.Handle()) return ListNotify(header);
            break;
        }
        case WM_TIMER:
            if (wParam == kRefreshTimer) return Update(false), 0;
            break;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {scale_(640), scale_(360)};
            return 0;
        }
        case WM_ACTIVATE:
            if (focus_.OnActivate(Handle(), wParam)) return 0;
            break;
        case WM_NEXTDLGCTL:
            // The read-only output pane hands Tab and Shift+Tab on to its window this way.
            if (LOWORD(lParam))
                ::SetFocus(reinterpret_cast<HWND>(wParam));
            else if (const HWND next = GetNextDlgTabItem(Handle(), GetFocus(), wParam != 0))
                ::SetFocus(next);
            return 0;
        case WM_CLOSE:
            CloseAsked();
            return 0;
        case kForgetMessage:
            // Only the batch it was posted for: a new batch may have come meanwhile.
            if (wParam == serial_ && batch_ && !Showing() && OnForget) OnForget();
            return 0;
        case WM_DPICHANGED: {
            scale_ = Scaler(HIWORD(wParam));
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            for (int i = 0; i < kBatchColumns; ++i) ListView_SetColumnWidth(lvFiles.Handle(), i, scale_(kColumnWidths[i]));
            Layout();
            return 0;
        }
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
