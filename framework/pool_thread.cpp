#include "framework/pool_thread.h"

#include <memory>
#include <thread>

#include "framework/win.h"

namespace zandrel {

namespace {

void CALLBACK RunHanded(PTP_CALLBACK_INSTANCE instance, void* context) {
    CallbackMayRunLong(instance);
    const std::unique_ptr<std::function<void()>> taken(static_cast<std::function<void()>*>(context));
    (*taken)();
}

}  // namespace

void RunOnPoolThread(std::function<void()> work) {
    auto handed = std::make_unique<std::function<void()>>(std::move(work));
    if (TrySubmitThreadpoolCallback(RunHanded, handed.get(), nullptr)) {
        handed.release();  // the callback owns it now
        return;
    }
    std::thread(std::move(*handed)).detach();
}

}  // namespace zandrel
