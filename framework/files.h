#pragma once
// File facts on the real disk, with long paths (past MAX_PATH) made usable.
#include <string>

#include "framework/win.h"

namespace zandrel {

// The form the file APIs accept for any length: "\\?\C:\..." or "\\?\UNC\..."
// for long absolute paths; other paths as they are.
std::wstring ApiPath(const std::wstring& path);
// The whole path of a name relative to the current folder; the name itself if it has none.
std::wstring FullPathOf(const std::wstring& path);
bool IsExistingFile(const std::wstring& path);    // a file, not a folder
bool IsExistingFolder(const std::wstring& path);
// True when both names open the same file (volume serial and file index).
bool IsSameFile(const std::wstring& a, const std::wstring& b);
// One file however its path is spelled: its volume and file index; empty when it cannot be opened.
std::wstring FileIdentity(const std::wstring& path);
// The folder of the running program, with a trailing separator.
std::wstring ProgramFolder();

}  // namespace zandrel
