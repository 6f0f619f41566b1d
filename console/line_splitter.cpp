#include "console/line_splitter.h"

namespace zandrel {

void LineSplitter::Feed(std::span<const std::uint8_t> bytes, const HandOver& handOver, const StopRequested& stop) {
    // NULs never reach a text, and do not split a CR LF pair either.
    std::string data;
    data.reserve(bytes.size());
    for (const std::uint8_t b : bytes)
        if (b != 0) data.push_back(static_cast<char>(b));
    if (data.empty()) return;

    std::string line = pending_;
    std::size_t i = 0;
    if (lastWasCR_ && data[0] == '\n') i = 1;  // the other half of a CR LF split across reads
    char last = 0;
    for (; i < data.size(); ++i) {
        if (stop && stop()) break;
        const char c = data[i];
        last = c;
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
            ++i;
            last = '\n';
            returnCode_ = TReturnCode::rcCRLF;
            handOver(line, TOutputType::otEntireLine);
            line.clear();
        } else if (c == '\r' || c == '\n') {
            returnCode_ = TReturnCode::rcLF;
            handOver(line, TOutputType::otEntireLine);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    lastWasCR_ = last == '\r';
    pending_ = line;
    if (!pending_.empty()) handOver(pending_, TOutputType::otBeginningOfLine);
}

void LineSplitter::Finish(const HandOver& handOver) const {
    if (!pending_.empty()) handOver(pending_, TOutputType::otBeginningOfLine);
}

void LineSplitter::EchoInput(const std::string& entry, bool lastWasBeginning, const HandOver& handOver) {
    pending_ = lastWasBeginning ? pending_ + entry : entry;
    const auto crlf = entry.find("\r\n");
    const auto lf = entry.find('\n');
    const bool complete = (crlf != std::string::npos && crlf + 2 == entry.size()) ||
                          (lf != std::string::npos && lf + 1 == entry.size());
    if (complete) {
        handOver(pending_, TOutputType::otEntireLine);
        pending_.clear();
    } else {
        handOver(pending_, TOutputType::otBeginningOfLine);
    }
}

}  // namespace zandrel
