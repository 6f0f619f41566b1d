#pragma once
// How the main window reads its stored settings back (portable).
#include <optional>
#include <string>
#include <vector>

namespace zandrel {

// Index of the entry whose text matches the stored one regardless of letter
// case, or -1 when none does.
int MatchEntry(const std::vector<std::wstring>& entries, const std::wstring& stored);

// A stored decimal integer. Throws ConvertError ("'%s' is not a valid integer
// value") when the text is not one.
int ParseStoredInteger(const std::wstring& text);

// A stored window coordinate: empty text gives nothing; a value outside
// [0, limit) is ignored; text that is not an integer throws ConvertError.
std::optional<int> StoredCoordinate(const std::wstring& text, int limit);

}  // namespace zandrel
