#pragma once
// A console run's pipes. Zandrel's ends are named pipes used with overlapped I/O, so
// the reader thread sleeps on the child, its output and its input together, and a
// child that stops reading (or writing) holds up neither the other stream nor a stop.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "framework/win.h"

namespace zandrel {

// A pipe of this process's own, Zandrel's end overlapped; `childEnd` gets the child's
// end (inheritable), which writes when `childWrites`, else reads. Null on failure.
UniqueHandle OpenOverlappedPipe(bool childWrites, DWORD bufferSize, UniqueHandle& childEnd);

// Zandrel's end of a child's output, read with overlapped reads: the reader sleeps until
// output comes, the child ends, input is queued or a stop is asked for (an anonymous
// pipe cannot be waited on: it had to be looked at every few ms).
class OutputPipe {
public:
    OutputPipe() = default;
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;
    ~OutputPipe() {
        // A read in progress writes into the buffer: it is ended before the buffer goes.
        if (pending_ && CancelIoEx(pipe_.get(), &overlapped_)) {
            DWORD got = 0;
            GetOverlappedResult(pipe_.get(), &overlapped_, &got, TRUE);
        }
    }

    // Makes the pipe; `childEnd` gets the inheritable end the child writes to.
    bool Open(UniqueHandle& childEnd) {
        pipe_ = OpenOverlappedPipe(true, kBufferSize, childEnd);
        event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        return pipe_ && event_;
    }
    HANDLE ReadDone() const { return event_.get(); }
    bool Pending() const { return pending_; }

    // Starts a read unless one is in progress or every writer is gone.
    void Begin() {
        if (pending_ || closed_) return;
        overlapped_ = {};
        overlapped_.hEvent = event_.get();
        if (ReadFile(pipe_.get(), buffer_.data(), kBufferSize, nullptr, &overlapped_) || GetLastError() == ERROR_IO_PENDING)
            pending_ = true;
        else
            closed_ = true;  // a broken pipe: every writer has closed its end
    }
    // The bytes of the read in progress once it has completed (waiting for that when
    // `wait`); nothing while it has not.
    std::span<const std::uint8_t> Take(bool wait) {
        if (!pending_) return {};
        DWORD got = 0;
        if (!GetOverlappedResult(pipe_.get(), &overlapped_, &got, wait ? TRUE : FALSE)) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_INCOMPLETE) return {};
            pending_ = false;
            closed_ = closed_ || error != ERROR_OPERATION_ABORTED;
            return {};
        }
        pending_ = false;
        return {buffer_.data(), got};
    }
    // The child has ended: what it wrote is in the read in progress or still in the
    // pipe. A grandchild may hold the pipe open, so the pipe's end is never waited
    // for, and a grandchild writing on is not followed beyond what was there.
    template <typename Feed>
    void Drain(const Feed& feed) {
        if (pending_) {
            auto bytes = Take(false);
            if (pending_) {
                CancelIoEx(pipe_.get(), &overlapped_);
                bytes = Take(true);  // a read that completed before the cancel keeps its bytes
            }
            feed(bytes);
        }
        DWORD left = 0;
        if (closed_ || !PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &left, nullptr)) return;
        while (left > 0 && !closed_) {
            Begin();
            const auto bytes = Take(true);
            if (bytes.empty()) break;
            left -= std::min<DWORD>(left, static_cast<DWORD>(bytes.size()));
            feed(bytes);
        }
    }

private:
    static constexpr DWORD kBufferSize = 65536;
    UniqueHandle pipe_, event_;
    OVERLAPPED overlapped_{};
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kBufferSize);
    bool pending_ = false, closed_ = false;
};

// Zandrel's end of a child's input, written with overlapped writes: input the child
// does not read waits in the pipe and here, while the reader goes on.
class InputPipe {
public:
    InputPipe() = default;
    InputPipe(const InputPipe&) = delete;
    InputPipe& operator=(const InputPipe&) = delete;
    ~InputPipe();

    // Makes the pipe; `childEnd` gets the inheritable end the child reads from.
    bool Open(UniqueHandle& childEnd);
    HANDLE WriteDone() const { return event_.get(); }
    bool Pending() const { return pending_; }
    // Starts writing `bytes` (none may be in progress); dropped once the child's end is gone.
    void Begin(std::string bytes);
    // Once WriteDone is set: that write's end, and the rest of its bytes started.
    void Take();

private:
    static constexpr DWORD kBufferSize = 4096;
    void Start();
    UniqueHandle pipe_, event_;
    OVERLAPPED overlapped_{};
    std::string bytes_;  // not written yet; the write in progress reads from it
    bool pending_ = false, broken_ = false;
};

// A run's pipes: the child's ends (inherited by it, closed here once it has them) and ours.
struct RunPipes {
    UniqueHandle inRead, outWrite;
    InputPipe input;
    OutputPipe output;
};

// Makes both pipes; the text of what failed, empty when both were made.
std::wstring MakePipes(RunPipes& pipes);

}  // namespace zandrel
