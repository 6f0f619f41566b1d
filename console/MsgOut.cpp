#include "console/MsgOut.h"

#include <commctrl.h>

#include "app/globals.h"
#include "app/settings.h"
#include "app/stored_values.h"
#include "framework/application.h"

namespace zandrel {
namespace {

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// Escape in the memo closes the window, as its close button does (and stops a batch).
LRESULT CALLBACK EscapeCloses(HWND memo, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        PostMessageW(GetParent(memo), WM_CLOSE, 0, 0);
        return 0;
    }
    if (msg == WM_GETDLGCODE && lParam && reinterpret_cast<const MSG*>(lParam)->wParam == VK_ESCAPE)
        return DefSubclassProc(memo, msg, wParam, lParam) | DLGC_WANTMESSAGE;
    return DefSubclassProc(memo, msg, wParam, lParam);
}

}  // namespace

TMessageOutput::TMessageOutput() {
    RegisterClassOnce(L"ZandrelMessageOutput");
    scale_ = Scaler(GetDpiForSystem());
    CreateHandle(L"ZandrelMessageOutput", kExStyle, kStyle, L"", kDesignLeft, kDesignTop, 100, 100,
                 Application::Instance().Handle());
    scale_ = Scaler(GetDpiForWindow(Handle()));
    memOutput.Create(Handle(), L"EDIT", L"",
                     WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_TABSTOP,
                     {kBorderWidth, kBorderWidth, kClientWidth, kClientHeight}, scale_);
    // Output of any size must fit: lift the edit control's text limit.
    SendMessageW(memOutput.Handle(), EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(memOutput.Handle(), EscapeCloses, 1, 0);
    Layout();
    try {
        FormCreate();
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e);
    }
}

void TMessageOutput::Layout() {
    font_ = MakeFont(scale_, L"MS Sans Serif", 13);
    memOutput.Place(scale_, font_.get());
    RECT r{0, 0, scale_(kClientWidth + 2 * kBorderWidth), scale_(kClientHeight + 2 * kBorderWidth)};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, scale_.Dpi());
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMessageOutput::FormCreate() {
    SetWindowTextW(Handle(), L"Console Message");
    Clear();
    RECT r;
    GetWindowRect(Handle(), &r);
    const auto top = ReadIniFromReg(SettingsKey, L"MsgOutTop");
    if (!top.empty()) {
        r.top = ParseStoredInteger(top);
        SetWindowPos(Handle(), nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const auto left = ReadIniFromReg(SettingsKey, L"MsgOutLeft");
    if (!left.empty()) {
        r.left = ParseStoredInteger(left);
        SetWindowPos(Handle(), nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TMessageOutput::FormCloseQuery() {
    RECT r;
    GetWindowRect(Handle(), &r);
    WriteIniToReg(SettingsKey, L"MsgOutTop", std::to_wstring(r.top));
    WriteIniToReg(SettingsKey, L"MsgOutLeft", std::to_wstring(r.left));
}

namespace {
constexpr UINT_PTR kFlushTimer = 1;
}  // namespace

void TMessageOutput::Clear() {
    KillTimer(Handle(), kFlushTimer);
    memOutput.SetText(L"");
    hasLines_ = false;
    shown_ = 0;
    tail_.clear();
    lastLineStart_ = 0;
}

void TMessageOutput::AppendLine(const std::wstring& line) {
    const bool startsABatch = tail_.empty();
    if (hasLines_) tail_ += L"\r\n";
    lastLineStart_ = shown_ + tail_.size();
    tail_ += line;
    hasLines_ = true;
    if (startsABatch) ScheduleFlush();
}

void TMessageOutput::ScheduleFlush() {
    // A line after a quiet spell shows at once; lines that follow close behind
    // wait for the batch, so a flood still costs a few edits a second.
    const ULONGLONG since = GetTickCount64() - lastFlushTick_;
    if (since >= pace_)
        Flush();
    else
        SetTimer(Handle(), kFlushTimer, static_cast<UINT>(pace_ - since), nullptr);
}

void TMessageOutput::SetEditPace(unsigned ms) {
    pace_ = ms;
    if (tail_.empty()) return;
    KillTimer(Handle(), kFlushTimer);
    ScheduleFlush();
}

void TMessageOutput::ReplaceLastLine(const std::wstring& line) {
    if (!hasLines_) return AppendLine(line);
    if (lastLineStart_ >= shown_) {
        tail_.resize(lastLineStart_ - shown_);
        const bool startsABatch = tail_.empty();
        tail_ += line;
        if (startsABatch) ScheduleFlush();
        return;
    }
    // The line is in the memo already (and nothing follows it).
    const HWND memo = memOutput.Handle();
    SendMessageW(memo, EM_SETSEL, lastLineStart_, static_cast<LPARAM>(shown_));
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    shown_ = lastLineStart_ + line.size();
}

void TMessageOutput::Flush() {
    KillTimer(Handle(), kFlushTimer);
    if (tail_.empty()) return;
    // Appending at the end keeps megabytes of output cheap: the text is never set anew.
    const HWND memo = memOutput.Handle();
    SendMessageW(memo, EM_SETSEL, shown_, static_cast<LPARAM>(shown_));
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(tail_.c_str()));
    shown_ += tail_.size();
    tail_.clear();
    lastFlushTick_ = GetTickCount64();
}

void TMessageOutput::ShowNonModal() const {
    // In front, but the focus stays where the user pressed the button.
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT TMessageOutput::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            if (wParam == kFlushTimer) {
                Flush();
                return 0;
            }
            break;
        case WM_ACTIVATE:
            if (focus_.OnActivate(Handle(), wParam)) return 0;
            break;
        case WM_CLOSE:
            FormCloseQuery();
            Hide();
            if (OnClosed) OnClosed();
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lParam) == memOutput.Handle()) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(255, 255, 255));
                SetBkColor(dc, RGB(0, 0, 0));
                return reinterpret_cast<LRESULT>(black_);
            }
            break;
        case WM_DPICHANGED: {
            scale_ = Scaler(HIWORD(wParam));
            Layout();
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            return 0;
        }
        default:
            break;
    }
    return Default(msg, wParam, lParam);
}

}  // namespace zandrel
