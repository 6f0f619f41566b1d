#pragma once
// Turns the bytes a console program writes into texts handed over one at a
// time: complete lines, and the beginning of a line whose break has not come
// yet (handed over again, whole, when it does). Portable.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace zandrel {

enum class TOutputType : std::uint8_t { otEntireLine, otBeginningOfLine };
enum class TReturnCode : std::uint8_t { rcCRLF, rcLF };

class LineSplitter {
public:
    using HandOver = std::function<void(const std::string& text, TOutputType type)>;
    using StopRequested = std::function<bool()>;

    // One read's bytes. NUL bytes are dropped as if they were not there; CR LF,
    // a lone CR and a lone LF each end a line; an LF that opens a read after a
    // read that ended with CR completes that pair. The unfinished rest is
    // handed over as a beginning and stays pending.
    void Feed(std::span<const std::uint8_t> bytes, const HandOver& handOver, const StopRequested& stop = {});
    // End of the run: a pending beginning is handed over once more.
    void Finish(const HandOver& handOver) const;
    // An input entry echoed into the output; `lastWasBeginning` tells whether
    // the previous handed-over text was a beginning of a line.
    void EchoInput(const std::string& entry, bool lastWasBeginning, const HandOver& handOver);

    // The break of the last complete line: CR LF inside one read, or any other.
    TReturnCode OutputReturnCode() const { return returnCode_; }
    const std::string& PendingLine() const { return pending_; }

private:
    std::string pending_;
    bool lastWasCR_ = false;
    TReturnCode returnCode_ = TReturnCode::rcCRLF;
};

// A growing line (a beginning handed over again as it grows) is kept once, in its
// newest form: the text after a beginning takes the last line's place.
class LineGrowth {
public:
    // Whether the text handed over with `type` replaces the last line kept.
    bool ReplacesLast(TOutputType type) {
        const bool replaces = growing_;
        growing_ = type == TOutputType::otBeginningOfLine;
        return replaces;
    }
    bool Growing() const { return growing_; }
    void Reset() { growing_ = false; }

private:
    bool growing_ = false;
};

// Keeps `text` at the end of `lines`: in the last line's place when it grew from it.
template <class Lines, class Text>
void KeepLine(Lines& lines, const Text& text, bool replacesLast) {
    if (replacesLast && !lines.empty())
        lines.back() = text;
    else
        lines.push_back(text);
}

}  // namespace zandrel
