#pragma once
// Names compared as Windows compares file names: case aside. Portable (no <windows.h>),
// so the batch's logic and the window code fold names the same way.
#include <string>

namespace zandrel {

// The name in capitals as the file system's case table has them for the scripts file
// names are written in (Latin, Greek, Cyrillic, Armenian, full-width Latin); two names
// are one when their folded forms are equal. Letters without a case stay as they are.
std::wstring FoldedName(const std::wstring& name);
// The same name, case aside.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace zandrel
