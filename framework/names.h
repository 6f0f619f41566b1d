#pragma once
// File names and paths as Windows treats them: names compared case aside, paths taken
// apart and joined. Portable (no <windows.h>), so the jobs' logic and the window code agree.
#include <string>

namespace zandrel {

// The name in capitals as the file system's case table has them for the scripts file
// names are written in (Latin, Greek, Cyrillic, Armenian, full-width Latin); two names
// are one when their folded forms are equal. Letters without a case stay as they are.
std::wstring FoldedName(const std::wstring& name);
wchar_t FoldedLetter(wchar_t c);  // one letter of it
// The same name, case aside.
bool SameName(const std::wstring& a, const std::wstring& b);

// Path pieces ('\' and '/' both separate).
std::wstring FolderPart(const std::wstring& path);    // before the last separator; a root keeps it
std::wstring FileNamePart(const std::wstring& path);  // after the last separator or drive colon
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);  // one separator between
// A folder as the system must be given it: a bare drive ("C:", which alone means that
// drive's current folder) becomes its root ("C:\"); any other path stays as it is.
std::wstring FolderForSystem(const std::wstring& folder);

}  // namespace zandrel
