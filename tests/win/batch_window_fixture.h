#pragma once
// The main window with the UPX stand-in, for batches driven through the question
// and the batch window's own controls.
#include "packed_format.h"
#include "batch_question.h"
#include "browser_fixture.h"
#include "test_support.h"

#include <commctrl.h>

#include <algorithm>

#include "batch/BatchConfirm.h"
#include "batch/BatchWindow.h"
#include "framework/application.h"
#include "framework/files.h"
#include "framework/taskbar.h"

namespace zandrel::test {

inline bool IsPacked(const std::wstring& path) { return standin::IsPacked(ReadBytes(path)); }

// What the task bar button was told, in order.
struct TaskbarRecorder : ITaskbarProgress {
    struct Shown {
        HWND button;
        TaskbarState state;
        unsigned long long done, total;
    };
    std::vector<Shown> shown;
    void Show(HWND button, TaskbarState state, unsigned long long done, unsigned long long total) override {
        shown.push_back({button, state, done, total});
    }
    Shown Last() const { return shown.empty() ? Shown{nullptr, TaskbarState::None, 0, 0} : shown.back(); }
    bool Saw(TaskbarState state) const {
        return std::any_of(shown.begin(), shown.end(), [&](const Shown& s) { return s.state == state; });
    }
};

class WindowBatch : public Browser {
protected:
    TempDir dir{L"zw"};
    std::unique_ptr<BatchQuestionAnswers> answers;
    TaskbarRecorder taskbar;
    void SetUp() override {
        Browser::SetUp();
        answers = std::make_unique<BatchQuestionAnswers>(*form);
        Application::Instance().SetTaskbar(&taskbar);
    }
    void TearDown() override {
        answers.reset();
        Browser::TearDown();
        Application::Instance().SetTaskbar(nullptr);
    }
    const std::vector<std::wstring>& Asked() const { return answers->Asked(); }
    std::wstring Program(const std::wstring& name, const std::wstring& in = {}) const {
        const std::wstring path = (in.empty() ? dir.Path() : in) + L"\\" + name;
        WriteBytes(path, "MZ a program of some length");
        return path;
    }
    // The question's answers for the next batch: Enter unless other steps are given.
    void Answer(std::vector<BatchQuestionAnswers::Step> steps = {}) { answers->Next(std::move(steps)); }
    void Drop(const std::vector<std::wstring>& files) {
        Answer();
        SendMessageW(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(files)), 0);
    }
    // The files packed by a batch from a drop, with the stand-in as UPX: where undo tests begin.
    bool PackByADrop(const std::vector<std::wstring>& files) {
        UseStandin(*form);
        Drop(files);
        return WaitForTheBatch() && std::all_of(files.begin(), files.end(), IsPacked);
    }
    TBatchWindow& Window() const { return *form->BatchWindow(); }
    bool WaitForTheBatch(int ms = 60000) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
        while (form->BatchRunning() && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            PumpMessages();
        }
        if (form->BatchWindow()) Window().Refresh();
        return !form->BatchRunning();
    }
    std::wstring Totals() const { return Window().lblProgress.Text(); }
    // The clipboard's text, as a paste would take it (empty when it holds none).
    static std::wstring ClipboardText() {
        if (!OpenClipboard(nullptr)) return L"(the clipboard could not be opened)";
        std::wstring text;
        if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) text = chars;
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }
    std::wstring Row(int row) const {
        std::wstring text;
        for (int c = 0; c < kBatchColumns; ++c) text += (c ? L"|" : L"") + Window().Cell(row, static_cast<BatchColumn>(c));
        return text;
    }
    // A row chosen as the user chooses it, then Enter: its output in the pane.
    std::wstring OutputOfRow(int row) const {
        const HWND list = Window().lvFiles.Handle();
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        SendMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
        return Window().edOutput.Text();
    }
    void ClickHeading(BatchColumn column) const {
        const HWND header = ListView_GetHeader(Window().lvFiles.Handle());
        RECT r{};
        Header_GetItemRect(header, static_cast<int>(column), &r);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(header, WM_LBUTTONUP, 0, at);
        PumpMessages();
    }
};

}  // namespace zandrel::test
