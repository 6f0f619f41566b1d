// The batch's question while its count is slow: a folder whose listing waits until
// the test lets it go, so every key lands while the files are being counted.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "batch_question.h"
#include "test_support.h"

#include "batch/BatchConfirm.h"
#include "framework/files.h"

namespace zandrel::test {
namespace {

constexpr const wchar_t* kFolder = L"C:\\slow folder";

class SlowCount : public ::testing::Test {
protected:
    // A step is tried on every tick until it says it is done.
    using Step = std::function<bool(TBatchConfirm&)>;

    UniqueHandle go{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<FolderEntry> entries;  // what the folder holds once let go
    bool outOfTime = false;

    std::optional<std::vector<std::wstring>> Ask(std::vector<Step> steps) {
        BatchSource source;
        source.isFolder = [](const std::wstring& path) { return path == kFolder; };
        source.list = [event = go.get(), entries = entries](const std::wstring&) {
            WaitForSingleObject(event, 30000);
            return entries;
        };
        source.accept = [](const std::wstring& name) { return name.size() > 4 && name.substr(name.size() - 4) == L".exe"; };
        TBatchConfirm question(nullptr, L"Compress at level 9", {kFolder}, source, false);
        question_ = &question;
        steps_ = std::move(steps);
        deadline_ = GetTickCount64() + 20000;
        current_ = this;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
        const auto scan = question.Ask();
        KillTimer(nullptr, timer);
        SetEvent(go.get());  // a count given up is not left waiting
        current_ = nullptr;
        if (!scan) return std::nullopt;
        return scan->files;
    }
    void LetTheCountGo() const { SetEvent(go.get()); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        SlowCount* self = current_;
        if (!self || !self->question_) return;
        if (GetTickCount64() > self->deadline_) {
            self->outOfTime = true;
            PostMessageW(self->question_->Handle(), WM_CLOSE, 0, 0);
            return;
        }
        if (!self->steps_.empty() && self->steps_.front()(*self->question_)) self->steps_.erase(self->steps_.begin());
    }
    static inline SlowCount* current_ = nullptr;
    TBatchConfirm* question_ = nullptr;
    std::vector<Step> steps_;
    ULONGLONG deadline_ = 0;
};

// Enter at once: the key goes to Start, which waits for the count and then starts its files.
TEST_F(SlowCount, EnterWhileCountingStartsOnceCountedNeverCancels) {
    for (int i = 0; i < 10000; ++i) entries.push_back({L"app" + std::to_wstring(i) + L".exe"});
    entries.push_back({L"readme.txt"});
    bool waited = false;
    const auto files = Ask({
        [](TBatchConfirm& q) {
            if (!q.Counting()) return false;
            PressKey(GetFocus(), VK_RETURN);
            return true;
        },
        [&](TBatchConfirm& q) {
            // The key was taken: still asking, still counting, and saying what comes.
            if (q.lblCount.Text().find(L"Starts once counted") == std::wstring::npos) return false;
            waited = q.Counting() && IsWindowVisible(q.Handle());
            LetTheCountGo();
            return true;
        },
    });
    EXPECT_FALSE(outOfTime);
    EXPECT_TRUE(waited) << "Enter started nothing before the count was in";
    ASSERT_TRUE(files.has_value()) << "Enter while counting is a start, not a cancel";
    EXPECT_EQ(files->size(), 10000u);
}

// A start asked while counting is no start where the count finds nothing, nor after the
// user changed a choice (the new count is looked at first); Escape then cancels.
TEST_F(SlowCount, AStartAskedWhileCountingWaitsForTheUserAfterANewChoiceOrNothingFound) {
    entries.push_back({L"readme.txt"});
    std::wstring saidEmpty;
    const auto nothing = Ask({
        [](TBatchConfirm& q) { return q.Counting() && (q.btnStart.Click(), true); },
        [&](TBatchConfirm&) { return LetTheCountGo(), true; },
        [&](TBatchConfirm& q) {
            if (q.Counting()) return false;
            saidEmpty = q.lblCount.Text();
            EXPECT_FALSE(IsWindowEnabled(q.btnStart.Handle()));
            PressKey(GetFocus(), VK_RETURN);  // Cancel has the focus now: Enter is Cancel
            return true;
        },
    });
    EXPECT_FALSE(outOfTime);
    EXPECT_FALSE(nothing.has_value());
    EXPECT_EQ(saidEmpty.rfind(L"Nothing to do", 0), 0u) << Narrow(saidEmpty);

    ResetEvent(go.get());
    entries = {{L"app.exe"}};
    bool stillAsking = false;
    const auto changed = Ask({
        [](TBatchConfirm& q) { return q.Counting() && (q.btnStart.Click(), true); },
        [](TBatchConfirm& q) { return q.cbSubfolders.Click(), true; },  // a new count, the start forgotten
        [&](TBatchConfirm&) { return LetTheCountGo(), true; },
        [&](TBatchConfirm& q) {
            if (q.Counting()) return false;
            stillAsking = IsWindowVisible(q.Handle()) && IsWindowEnabled(q.btnStart.Handle());
            PressKey(q.btnStart.Handle(), VK_ESCAPE);
            return true;
        },
    });
    EXPECT_FALSE(outOfTime);
    EXPECT_TRUE(stillAsking) << "the new count is shown and waits for the user";
    EXPECT_FALSE(changed.has_value()) << "Escape cancels";
}

// A new choice counts again: the names of the count before are not shown meanwhile.
TEST_F(SlowCount, ANewCountShowsNoNamesOfTheCountBefore) {
    entries = {{L"app.exe"}};
    std::wstring namesBefore, namesWhileCounting;
    const auto files = Ask({
        [&](TBatchConfirm&) { return LetTheCountGo(), true; },
        [&](TBatchConfirm& q) {
            if (q.Counting()) return false;
            namesBefore = q.lblNames.Text();
            ResetEvent(go.get());  // the next listing hangs until let go
            q.cbSkipPacked.Click();
            return true;
        },
        [&](TBatchConfirm& q) {
            if (!q.Counting()) return false;
            namesWhileCounting = q.lblNames.Text();
            LetTheCountGo();
            return true;
        },
        [](TBatchConfirm& q) { return !q.Counting() && (PressKey(q.btnStart.Handle(), VK_ESCAPE), true); },
    });
    EXPECT_FALSE(outOfTime);
    EXPECT_NE(namesBefore.find(L"app.exe"), std::wstring::npos) << Narrow(namesBefore);
    EXPECT_EQ(namesWhileCounting, L"");
    EXPECT_FALSE(files.has_value());
}

// Escape while a count hangs (a share that does not answer) ends the question at once,
// a start asked before it too; the count is let go, not waited for.
TEST_F(SlowCount, EscapeWhileCountingCancelsAtOnceAndAPendingStartWithIt) {
    entries = {{L"app.exe"}};
    bool escapedWhileCounting = false;
    ULONGLONG escapedAt = 0;
    const auto files = Ask({
        [](TBatchConfirm& q) { return q.Counting() && (q.btnStart.Click(), true); },
        [&](TBatchConfirm& q) {
            escapedWhileCounting = q.Counting();
            escapedAt = GetTickCount64();
            PressKey(q.btnStart.Handle(), VK_ESCAPE);
            return true;
        },
    });
    EXPECT_FALSE(outOfTime);
    EXPECT_LT(GetTickCount64() - escapedAt, 5000u) << "Escape waited for the count (it hangs for 30 s)";
    EXPECT_TRUE(escapedWhileCounting);
    EXPECT_FALSE(files.has_value());
}

}  // namespace
}  // namespace zandrel::test
