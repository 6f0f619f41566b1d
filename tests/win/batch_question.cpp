#include "batch_question.h"

#include <gtest/gtest.h>

namespace zandrel::test {
namespace {
BatchQuestionAnswers* g_answers = nullptr;  // a thread timer has no data of its own
}  // namespace

BatchQuestionAnswers::BatchQuestionAnswers(TfrmMain& form) : form_(&form) { g_answers = this; }

BatchQuestionAnswers::~BatchQuestionAnswers() {
    if (timer_) KillTimer(nullptr, timer_);
    g_answers = nullptr;
}

void BatchQuestionAnswers::Next(std::vector<Step> steps) {
    if (steps.empty()) steps.push_back([](TBatchConfirm& q) { PressKey(q.btnStart.Handle(), VK_RETURN); });
    for (auto& step : steps) steps_.push_back(std::move(step));
    asked_.push_back({});
    if (!timer_) timer_ = SetTimer(nullptr, 0, 20, Tick);
}

void CALLBACK BatchQuestionAnswers::Tick(HWND, UINT, UINT_PTR, DWORD) {
    BatchQuestionAnswers* self = g_answers;
    TBatchConfirm* question = self && self->form_ ? self->form_->BatchQuestion() : nullptr;
    if (!question && self) self->seen_ = nullptr;  // the next question's time starts afresh
    if (question && question->Handle() != self->seen_) self->seen_ = question->Handle(), self->seenSince_ = GetTickCount64();
    if (question && GetTickCount64() - self->seenSince_ > 30000) {
        ADD_FAILURE() << "the batch question was still up after 30 s; it is closed";
        self->seenSince_ = GetTickCount64();
        PostMessageW(question->Handle(), WM_CLOSE, 0, 0);
        return;
    }
    if (!question || question->Counting() || self->steps_.empty()) return;
    if (!self->asked_.empty() && self->asked_.back().empty())
        self->asked_.back() =
            question->lblJob.Text() + L"|" + question->lblCount.Text() + L"|" + question->lblNames.Text();
    auto step = std::move(self->steps_.front());
    self->steps_.erase(self->steps_.begin());
    step(*question);
}

void PressKey(HWND control, WPARAM key) {
    PostMessageW(control, WM_KEYDOWN, key, 0);
    PostMessageW(control, WM_KEYUP, key, 0);
}

}  // namespace zandrel::test
