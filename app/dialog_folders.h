#pragma once
// Where the job panel's file dialogs open (portable).
#include <functional>
#include <string>

namespace zandrel {

// A path that names the same place whatever the current folder and drive: "C:\…" or "\\server\…".
bool IsAbsolutePath(const std::wstring& path);

// The folder a file dialog opens in: the folder of the path its field holds, when that path is
// absolute and its folder exists; else the folder stored from the last choice, when it exists;
// else empty (the dialog's own choice).
std::wstring DialogStartFolder(const std::wstring& fieldPath, const std::wstring& storedFolder,
                               const std::function<bool(const std::wstring&)>& folderExists);

}  // namespace zandrel
