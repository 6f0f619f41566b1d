#include "shell/BatchHandOver.h"

#include "framework/window.h"
#include "shell/hand_over.h"

namespace zandrel {
namespace {

// The collector's window: message-only, it only takes files.
class CollectorWindow : public Window {
public:
    explicit CollectorWindow(FileCollection& collection) : collection_(collection) {
        RegisterClassOnce(kCollectorClass, 0);
        CreateHandle(kCollectorClass, 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
    }
    ~CollectorWindow() override { Destroy(); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != WM_COPYDATA) return Window::HandleMessage(msg, wParam, lParam);
        // Any process of the session may send this: nothing is taken that is not a hand-over.
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->dwData != kHandOverTag) return FALSE;
        const auto files = DecodeHandOver(static_cast<const std::uint8_t*>(data->lpData), data->cbData);
        return files && collection_.Add(*files, GetTickCount64()) ? TRUE : FALSE;
    }

private:
    FileCollection& collection_;
};

std::vector<std::wstring> Collect(const std::vector<std::wstring>& own) {
    FileCollection collection(own, GetTickCount64());
    CollectorWindow window(collection);
    if (!window.Handle()) return own;
    while (const std::uint64_t wait = collection.WaitLeft(GetTickCount64())) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return collection.Files();
            }
            DispatchMessageW(&msg);
        }
    }
    return collection.Files();  // over: the window refuses whatever still comes
}

}  // namespace

bool HandOverFiles(HWND collector, const std::vector<std::wstring>& files) {
    auto bytes = EncodeHandOver(files);
    COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(bytes.size()), bytes.data()};
    DWORD_PTR answer = FALSE;
    return SendMessageTimeoutW(collector, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_BLOCK | SMTO_ABORTIFHUNG, 5000, &answer) &&
           answer == TRUE;
}

std::optional<std::vector<std::wstring>> CollectBatchFiles(const std::vector<std::wstring>& own) {
    // A collector just starting has its mutex before its window: wait for the window a while.
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    while (GetTickCount64() < giveUp) {
        UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kCollectorMutex));
        if (!mutex) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return Collect(own);  // the mutex goes when this returns
        mutex.reset();
        if (const HWND collector = FindWindowExW(HWND_MESSAGE, nullptr, kCollectorClass, nullptr))
            if (HandOverFiles(collector, own)) return std::nullopt;
        Sleep(20);
    }
    return own;  // no collector to be had: this start's files make a batch of their own
}

}  // namespace zandrel
