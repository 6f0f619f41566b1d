#pragma once
// The per-user settings: text values in one key below HKEY_CURRENT_USER.
#include <string>

namespace zandrel {

// The value's text, or empty text when the key or the value is missing. Never creates a key.
std::wstring ReadIniFromReg(const std::wstring& key, const std::wstring& name);
// Stores the text, creating the key when needed; a key that cannot be made is skipped in silence.
void WriteIniToReg(const std::wstring& key, const std::wstring& name, const std::wstring& text);

}  // namespace zandrel
