#include "framework/pool_thread.h"

#include <memory>
#include <thread>

#include "framework/win.h"

namespace zandrel {

void RunOnPoolThread(std::function<void()> work) {
    auto handed = std::make_unique<std::function<void()>>(std::move(work));
    const auto run = [](PTP_CALLBACK_INSTANCE instance, void* context) {
        CallbackMayRunLong(instance);
        const std::unique_ptr<std::function<void()>> taken(static_cast<std::function<void()>*>(context));
        (*taken)();
    };
    if (TrySubmitThreadpoolCallback(run, handed.get(), nullptr)) {
        handed.release();  // the callback owns it now
        return;
    }
    std::thread(std::move(*handed)).detach();
}

}  // namespace zandrel
