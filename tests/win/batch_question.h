#pragma once
// Answers the question a batch asks before it starts, from a timer while the
// question's own loop runs: each step once the count is in, Enter when none is given.
#include <functional>
#include <string>
#include <vector>

#include "app/Main.h"
#include "batch/BatchConfirm.h"

namespace zandrel::test {

class BatchQuestionAnswers {
public:
    using Step = std::function<void(TBatchConfirm&)>;
    explicit BatchQuestionAnswers(TfrmMain& form);
    ~BatchQuestionAnswers();  // no answer is given after this
    BatchQuestionAnswers(const BatchQuestionAnswers&) = delete;
    BatchQuestionAnswers& operator=(const BatchQuestionAnswers&) = delete;

    // The next question's answers (Enter when none are given).
    void Next(std::vector<Step> steps = {});
    // What each question said once its count was in: "job|count|names".
    const std::vector<std::wstring>& Asked() const { return asked_; }
    void Forget() { form_ = nullptr; }  // the window goes: no more answers

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    TfrmMain* form_;
    std::vector<Step> steps_;
    std::vector<std::wstring> asked_;
    UINT_PTR timer_ = 0;
    // A question up longer than a test can mean (a step that can never be taken) is closed
    // as a failure, so the test ends instead of hanging.
    HWND seen_ = nullptr;
    ULONGLONG seenSince_ = 0;
};

// A key pressed in a control, through the loop that runs (the question's own).
void PressKey(HWND control, WPARAM key);

}  // namespace zandrel::test
