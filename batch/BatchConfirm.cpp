#include "batch/BatchConfirm.h"

#include "batch/batch_plan.h"
#include "framework/application.h"

#include <algorithm>

namespace zandrel {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr UINT kCountedSoFar = WM_APP + 1, kCounted = WM_APP + 2;
constexpr int kWidth = 560, kHeight = 346, kMargin = 12, kShownNames = 8;

}  // namespace

// The counting thread's news, kept alive by whichever side goes last.
struct TBatchConfirm::Shared {
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> soFar{0};
    std::mutex lock;
    BatchScan scan;  // under the lock, once counted
};

TBatchConfirm::TBatchConfirm(HWND owner, std::wstring job, std::vector<std::wstring> dropped, BatchSource source,
                             bool compresses)
    : owner_(owner), dropped_(std::move(dropped)), source_(std::move(source)) {
    RegisterClassOnce(L"ZandrelBatchConfirm", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    scale_ = Scaler(GetDpiForSystem());
    CreateHandle(L"ZandrelBatchConfirm", kExStyle, kStyle, L"Start a batch?", CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                 owner);
    scale_ = Scaler(GetDpiForWindow(Handle()));
    CreateControls(job, compresses);
    Layout();
}

TBatchConfirm::~TBatchConfirm() { StopCounting(); }

void TBatchConfirm::CreateControls(const std::wstring& job, bool compresses) {
    const HWND self = Handle();
    const int w = kWidth - 2 * kMargin;
    lblJob.Create(self, L"STATIC", job, SS_NOPREFIX, {kMargin, kMargin, w, 20}, scale_);
    lblCount.Create(self, L"STATIC", L"", SS_NOPREFIX | SS_PATHELLIPSIS, {kMargin, kMargin + 26, w, 20}, scale_);
    lblNames.Create(self, L"STATIC", L"", SS_NOPREFIX | SS_LEFTNOWORDWRAP | SS_SUNKEN, {kMargin, kMargin + 52, w, 166},
                    scale_);
    cbSubfolders.Create(self, L"BUTTON", L"Include &sub-folders", BS_AUTOCHECKBOX | WS_TABSTOP,
                        {kMargin, kMargin + 228, w, 22}, scale_);
    cbSkipPacked.Create(self, L"BUTTON", L"S&kip files UPX has already packed", BS_AUTOCHECKBOX | WS_TABSTOP,
                        {kMargin, kMargin + 252, w, 22}, scale_);
    btnStart.Create(self, L"BUTTON", L"Start", BS_DEFPUSHBUTTON | WS_TABSTOP,
                    {kWidth - kMargin - 2 * 100 - 8, kHeight - kMargin - 28, 100, 28}, scale_);
    btnCancel.Create(self, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP,
                     {kWidth - kMargin - 100, kHeight - kMargin - 28, 100, 28}, scale_);
    EnableWindow(cbSubfolders.Handle(), FALSE);
    OfferSubfolders(dropped_);
    // Only a compress is refused for a packed file; the other jobs want exactly those.
    cbSkipPacked.SetChecked(compresses);
    EnableWindow(cbSkipPacked.Handle(), compresses);
    cbSubfolders.OnClick = [this] { Recount(); };
    cbSkipPacked.OnClick = [this] { Recount(); };
    btnStart.OnClick = [this] { Answer(true); };
    btnCancel.OnClick = [this] { Answer(false); };
}

void TBatchConfirm::OfferSubfolders(const std::vector<std::wstring>& paths) {
    if (std::any_of(paths.begin(), paths.end(), [this](const std::wstring& path) { return source_.isFolder(path); }))
        EnableWindow(cbSubfolders.Handle(), TRUE);
}

bool TBatchConfirm::AddFiles(const std::vector<std::wstring>& files) {
    if (closed_) return false;
    std::vector<std::wstring> added;
    for (const auto& file : files)
        if (std::find(dropped_.begin(), dropped_.end(), file) == dropped_.end()) added.push_back(file);
    if (added.empty()) return true;
    dropped_.insert(dropped_.end(), added.begin(), added.end());
    OfferSubfolders(added);
    Recount();
    return true;
}

void TBatchConfirm::Layout() {
    font_ = MakeFont(scale_, L"MS Shell Dlg 2", 14);
    boldFont_ = MakeFont(scale_, L"MS Shell Dlg 2", 14, true);
    lblJob.Place(scale_, boldFont_.get());
    // A job with many switches (the advanced options) wraps: the rest moves down by its extra lines.
    RECT job{};
    GetWindowRect(lblJob.Handle(), &job);
    const int extra = std::max(0, static_cast<int>(job.bottom - job.top) - (scale_(kMargin + 20) - scale_(kMargin)));
    for (Control* c : std::initializer_list<Control*>{&lblCount, &lblNames, &cbSubfolders, &cbSkipPacked, &btnStart,
                                                      &btnCancel}) {
        c->Place(scale_, font_.get());
        RECT at{};
        GetWindowRect(c->Handle(), &at);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&at), 2);
        SetWindowPos(c->Handle(), nullptr, at.left, at.top + extra, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT r{0, 0, scale_(kWidth), scale_(kHeight) + extra};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, scale_.Dpi());
    // Centred over the window it belongs to.
    RECT owner{};
    GetWindowRect(owner_ ? owner_ : GetDesktopWindow(), &owner);
    const int width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(Handle(), nullptr, (owner.left + owner.right - width) / 2, (owner.top + owner.bottom - height) / 2,
                 width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TBatchConfirm::StopCounting() {
    // A count given up may be inside a slow listing (a share, a drive gone): it is let
    // go rather than waited for; it keeps what it needs and its news is dropped.
    if (shared_) shared_->stop = true;
    if (counter_.joinable()) counter_.detach();
    counting_ = false;
}

void TBatchConfirm::Recount() {
    StopCounting();
    startAsked_ = false;  // a changed choice is looked at again before anything starts
    shared_ = std::make_shared<Shared>();
    counting_ = true;
    ShowCount(false);
    lblNames.SetText(L"");  // the last count's names may not be among the new count's
    const BatchChoice choice{cbSubfolders.Checked(), cbSkipPacked.Checked()};
    const WPARAM generation = ++generation_;
    counter_ = std::thread([shared = shared_, window = Handle(), dropped = dropped_, source = source_, choice,
                            generation]() mutable {
        source.stop = [&shared] { return shared->stop.load(); };
        auto scan = ScanBatch(dropped, choice, source, [&](std::size_t found) {
            shared->soFar = found;
            PostMessageW(window, kCountedSoFar, generation, 0);
        });
        if (scan.stopped) return;
        {
            const std::lock_guard<std::mutex> hold(shared->lock);
            shared->scan = std::move(scan);
        }
        PostMessageW(window, kCounted, generation, 0);
    });
}

void TBatchConfirm::ShowCount(bool done) {
    if (!done) {
        BatchScan soFar;
        soFar.files.resize(shared_ ? shared_->soFar.load() : 0);
        // Start stays there while counting (Enter never lands on Cancel); pressed, it waits for the count.
        lblCount.SetText(L"Counting: " + CountLine(soFar, true) + (startAsked_ ? L" Starts once counted." : L""));
        EnableWindow(btnStart.Handle(), TRUE);
        return;
    }
    lblCount.SetText(scan_.files.empty() ? L"Nothing to do: " + CountLine(scan_, false) : CountLine(scan_, false));
    lblNames.SetText(FirstNames(scan_.files, kShownNames, kLongestName));
    if (scan_.files.empty() && GetFocus() == btnStart.Handle()) btnCancel.SetFocus();
    EnableWindow(btnStart.Handle(), !scan_.files.empty());
}

void TBatchConfirm::Answer(bool start) {
    if (start && counting_) {
        startAsked_ = true;  // the batch is the count's files: it starts when they are known
        ShowCount(false);
        return;
    }
    if (start && scan_.files.empty()) return;
    started_ = start;
    closed_ = true;
}

std::optional<BatchScan> TBatchConfirm::Ask() {
    Recount();
    RunModal(Handle(), owner_, btnStart.Handle(), [this] { return closed_; });
    StopCounting();
    if (!started_) return std::nullopt;
    return scan_;
}

LRESULT TBatchConfirm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (AnswerDialogKey(Handle(), wParam, lParam, [this](bool yes) { Answer(yes); })) return 0;
            if (lParam && Control::Notify(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
            break;
        case kCountedSoFar:
            if (counting_ && wParam == generation_) ShowCount(false);
            return 0;
        case kCounted:
            if (!counting_ || !shared_ || wParam != generation_) return 0;
            {
                const std::lock_guard<std::mutex> hold(shared_->lock);
                scan_ = shared_->scan;
            }
            if (counter_.joinable()) counter_.join();
            counting_ = false;
            ShowCount(true);
            if (startAsked_) Answer(true);  // nothing starts where nothing was found
            return 0;
        case WM_CLOSE:
            Answer(false);
            return 0;
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
