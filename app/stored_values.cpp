#include "app/stored_values.h"

#include <climits>

#include "framework/error.h"
#include "framework/names.h"

namespace zandrel {

int MatchEntry(const std::vector<std::wstring>& entries, const std::wstring& stored) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (SameName(entries[i], stored)) return static_cast<int>(i);
    return -1;
}

int ParseStoredInteger(const std::wstring& text) {
    auto invalid = [&text] {
        return ConvertError(FormatMessageText(L"'%s' is not a valid integer value", text));
    };
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    if (i == text.size()) throw invalid();
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') throw invalid();
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) throw invalid();
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) throw invalid();
    return static_cast<int>(value);
}

std::optional<int> StoredCoordinate(const std::wstring& text, int limit) {
    if (text.empty()) return std::nullopt;
    const int value = ParseStoredInteger(text);
    if (value < 0 || value >= limit) return std::nullopt;
    return value;
}

}  // namespace zandrel
