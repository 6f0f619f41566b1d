// libFuzzer target for the output splitter. The input is cut into reads at
// the positions its first byte chooses. Invariants: no text holds a NUL, and
// the complete lines joined with breaks give back the input without its NULs
// (every CR LF, lone CR and lone LF counted as one break).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/line_splitter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned step = 1 + data[0] % 17;
    ++data, --size;
    zandrel::LineSplitter splitter;
    std::string joined, pending;
    auto take = [&](const std::string& text, zandrel::TOutputType type) {
        if (text.find('\0') != std::string::npos) std::abort();
        if (type == zandrel::TOutputType::otEntireLine) {
            joined += text + "\n";
            pending.clear();
        } else {
            pending = text;
        }
    };
    for (std::size_t at = 0; at < size; at += step)
        splitter.Feed({data + at, std::min<std::size_t>(step, size - at)}, take);
    joined += splitter.PendingLine();

    std::string expected;
    std::string plain;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] != 0) plain.push_back(static_cast<char>(data[i]));
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] == '\r' && i + 1 < plain.size() && plain[i + 1] == '\n') {
            expected += '\n';
            ++i;
        } else if (plain[i] == '\r') {
            expected += '\n';
        } else {
            expected += plain[i];
        }
    }
    if (joined != expected) std::abort();
    if (splitter.PendingLine() != pending && !splitter.PendingLine().empty()) std::abort();
    return 0;
}
