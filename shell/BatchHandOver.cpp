#include "shell/BatchHandOver.h"

#include "framework/window.h"
#include "shell/hand_over.h"

namespace zandrel {

// The collector's window: message-only, it only takes files.
class BatchCollector::Window : public zandrel::Window {
public:
    explicit Window(BatchCollector& owner) : owner_(owner) {
        RegisterClassOnce(kCollectorClass, 0);
        CreateHandle(kCollectorClass, 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
    }
    ~Window() override { Destroy(); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != WM_COPYDATA) return zandrel::Window::HandleMessage(msg, wParam, lParam);
        // Any process of the session may send this: nothing is taken that is not a hand-over.
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->dwData != kHandOverTag) return FALSE;
        const auto files = DecodeHandOver(static_cast<const std::uint8_t*>(data->lpData), data->cbData);
        return files && owner_.Take(*files) ? TRUE : FALSE;
    }

private:
    BatchCollector& owner_;
};

BatchCollector::BatchCollector(UniqueHandle mutex, std::vector<std::wstring> own)
    : mutex_(std::move(mutex)), first_(std::move(own), GetTickCount64()), window_(std::make_unique<Window>(*this)) {}

BatchCollector::~BatchCollector() = default;  // the window goes before the mutex: no file is taken after

bool BatchCollector::Collecting() const { return window_->Handle() && !refusing_; }

std::vector<std::wstring> BatchCollector::CollectFirst() {
    while (window_->Handle()) {
        const std::uint64_t wait = first_.WaitLeft(GetTickCount64());
        if (!wait) return first_.Files();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
        bool quit = false;
        MSG msg{};
        while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quit = msg.message == WM_QUIT;
            if (quit) PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that ends the program
            else DispatchMessageW(&msg);
        }
        if (quit) break;
    }
    refusing_ = true;  // no window, or the program is ending: nothing more is taken
    return first_.Files();
}

bool BatchCollector::Take(const std::vector<std::wstring>& files) {
    if (!first_.Over() && first_.Add(files, GetTickCount64())) return true;
    if (!first_.Over() || refusing_) return false;  // too many, or the question was answered
    // Later files join the question, within a batch's limit; before it is up they wait for it.
    if (first_.Files().size() + lateTaken_ + files.size() > kMaxCollectedFiles) return false;
    if (take_ && !take_(files)) return false;
    if (!take_) waiting_.insert(waiting_.end(), files.begin(), files.end());
    lateTaken_ += files.size();
    return true;
}

void BatchCollector::PassLateFilesTo(BatchFilesTaker take) {
    take_ = std::move(take);
    refusing_ = !take_;
    std::vector<std::wstring> waiting;
    waiting.swap(waiting_);
    if (take_ && !waiting.empty()) take_(waiting);
}

bool HandOverFiles(HWND collector, const std::vector<std::wstring>& files) {
    auto bytes = EncodeHandOver(files);
    COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(bytes.size()), bytes.data()};
    DWORD_PTR answer = FALSE;
    return SendMessageTimeoutW(collector, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_BLOCK | SMTO_ABORTIFHUNG, 5000, &answer) &&
           answer == TRUE;
}

std::optional<CollectedBatch> CollectBatchFiles(const std::vector<std::wstring>& own) {
    // A collector just starting has its mutex before its window: wait for the window a while.
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    while (GetTickCount64() < giveUp) {
        UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kCollectorMutex));
        if (!mutex) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            auto collector = std::make_unique<BatchCollector>(std::move(mutex), own);
            auto files = collector->CollectFirst();
            if (!collector->Collecting()) collector.reset();
            return CollectedBatch{std::move(files), std::move(collector)};
        }
        mutex.reset();
        if (const HWND collector = FindWindowExW(HWND_MESSAGE, nullptr, kCollectorClass, nullptr))
            if (HandOverFiles(collector, own)) return std::nullopt;
        Sleep(20);
    }
    return CollectedBatch{own, nullptr};  // no collector to be had: this start's files make a batch of their own
}

}  // namespace zandrel
