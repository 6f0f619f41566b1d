#include "framework/gui_call.h"

#include <atomic>
#include <memory>

namespace zandrel {
namespace {

constexpr UINT kRunWork = WM_APP + 1;
HWND g_receiver = nullptr;

struct Item {
    std::function<void()> work;
    UniqueHandle own;           // the call's own event, where the caller brought none
    HANDLE done = nullptr;      // auto-reset; set once, and only when the work was taken
    std::atomic<int> state{0};  // 0 waiting, 1 taken by the GUI thread, 2 given up by the caller
};

LRESULT CALLBACK Receive(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kRunWork) return DefWindowProcW(hwnd, msg, wParam, lParam);
    std::unique_ptr<std::shared_ptr<Item>> holder(reinterpret_cast<std::shared_ptr<Item>*>(lParam));
    Item& item = **holder;
    int waiting = 0;
    if (!item.state.compare_exchange_strong(waiting, 1)) return 0;  // the caller gave up
    try {
        item.work();
    } catch (...) {
        // A failing hand-over is dropped; the caller goes on.
    }
    SetEvent(item.done);
    return 0;
}

}  // namespace

void GuiCall::Initialize() {
    if (g_receiver) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = Receive;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZandrelGuiCall";
    RegisterClassW(&wc);
    g_receiver = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

bool GuiCall::Run(std::function<void()> work, HANDLE cancel, HANDLE done) {
    auto item = std::make_shared<Item>();
    item->work = std::move(work);
    if (!done) item->own.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    item->done = done ? done : item->own.get();
    if (!item->done) return false;
    auto* holder = new std::shared_ptr<Item>(item);
    if (!PostMessageW(g_receiver, kRunWork, 0, reinterpret_cast<LPARAM>(holder))) {
        delete holder;
        return false;
    }
    const HANDLE handles[] = {item->done, cancel};
    if (WaitForMultipleObjects(cancel ? 2 : 1, handles, FALSE, INFINITE) == WAIT_OBJECT_0) return true;
    int waiting = 0;
    if (item->state.compare_exchange_strong(waiting, 2)) return false;
    // The GUI thread is running it right now: let it finish.
    WaitForSingleObject(item->done, INFINITE);
    return true;
}

}  // namespace zandrel
