#pragma once
// What the shell says once about folders, unknown files and programs, the
// system image lists, and its answers about one item: shared by every list.
#include <string>
#include <utility>

#include "framework/win.h"

#include <commctrl.h>
#include <shellapi.h>

namespace zandrel {

struct ShellFacts {
    std::wstring folderType;
    int folderIcon = 0, openFolderIcon = 0, fileIcon = 0, programIcon = 0;
    bool comctl470 = true;
    std::wstring windowsDir, tempDir;
    HIMAGELIST smallImages = nullptr, largeImages = nullptr;
};

// The shell's small and large system image lists, shared by every list; asked for
// apart from the other facts so that making the list costs one shell call.
std::pair<HIMAGELIST, HIMAGELIST> SystemImageLists();
const ShellFacts& Facts();
// The shell's type name and icon; false when the shell had no answer.
bool AskShell(const void* item, bool isPidl, DWORD attributes, UINT flags, SHFILEINFOW& info);
// How many questions AskShell has put to the shell (for the bench and the tests:
// a sort by type must ask once per extension, not once per file).
long ShellQuestionsAsked();
// Files of these (three-letter, upper-case) extensions carry icons of their own.
inline constexpr const wchar_t* kOwnIconExts = L"EXE,LNK,ICO,ANI,CUR,PIF,JOB,CPL";
bool OwnIcon(const std::wstring& ext);

}  // namespace zandrel
