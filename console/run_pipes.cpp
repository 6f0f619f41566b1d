#include "console/run_pipes.h"

#include <atomic>

namespace zandrel {

UniqueHandle OpenOverlappedPipe(bool childWrites, DWORD bufferSize, UniqueHandle& childEnd) {
    static std::atomic<unsigned> serial{0};
    const std::wstring name = L"\\\\.\\pipe\\zandrel-" + std::wstring(childWrites ? L"output-" : L"input-") +
                              std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    // The first instance only: no pipe another program made under that name is used.
    const DWORD access = (childWrites ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) | FILE_FLAG_OVERLAPPED |
                         FILE_FLAG_FIRST_PIPE_INSTANCE;
    const HANDLE pipe = CreateNamedPipeW(name.c_str(), access, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                         PIPE_REJECT_REMOTE_CLIENTS, 1, childWrites ? 0 : bufferSize,
                                         childWrites ? bufferSize : 0, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return {};
    UniqueHandle ours(pipe);
    // The default security descriptor; only the child's end is inherited.
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const DWORD childAccess = childWrites ? GENERIC_WRITE | FILE_READ_ATTRIBUTES : GENERIC_READ | FILE_WRITE_ATTRIBUTES;
    const HANDLE end = CreateFileW(name.c_str(), childAccess, 0, &sa, OPEN_EXISTING, 0, nullptr);
    if (end == INVALID_HANDLE_VALUE) return {};
    childEnd.reset(end);
    return ours;
}

InputPipe::~InputPipe() {
    // A write in progress reads from the buffer: it is ended before the buffer goes.
    if (pending_ && CancelIoEx(pipe_.get(), &overlapped_)) {
        DWORD put = 0;
        GetOverlappedResult(pipe_.get(), &overlapped_, &put, TRUE);
    }
}

bool InputPipe::Open(UniqueHandle& childEnd) {
    pipe_ = OpenOverlappedPipe(false, kBufferSize, childEnd);
    event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return pipe_ && event_;
}

void InputPipe::Begin(std::string bytes) {
    if (pending_) return;
    bytes_ = std::move(bytes);
    Start();
}

void InputPipe::Start() {
    while (!bytes_.empty() && !broken_) {
        overlapped_ = {};
        overlapped_.hEvent = event_.get();
        DWORD put = 0;
        if (!WriteFile(pipe_.get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), nullptr, &overlapped_)) {
            if (GetLastError() == ERROR_IO_PENDING) {
                pending_ = true;
                return;
            }
            broken_ = true;  // the child's end is gone: what it would have read goes with it
        } else if (GetOverlappedResult(pipe_.get(), &overlapped_, &put, FALSE) && put > 0) {
            bytes_.erase(0, put);
            continue;
        } else {
            broken_ = true;
        }
    }
    if (broken_) bytes_.clear();
}

void InputPipe::Take() {
    if (!pending_) return;
    DWORD put = 0;
    if (!GetOverlappedResult(pipe_.get(), &overlapped_, &put, FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) return;
        pending_ = false;
        broken_ = true;
        bytes_.clear();
        return;
    }
    pending_ = false;
    bytes_.erase(0, std::min<std::size_t>(put, bytes_.size()));
    Start();
}

std::wstring MakePipes(RunPipes& pipes) {
    if (!pipes.input.Open(pipes.inRead)) return L"The input pipe cannot be created.";
    if (!pipes.output.Open(pipes.outWrite)) return L"The output pipe cannot be created.";
    return {};
}

}  // namespace zandrel
