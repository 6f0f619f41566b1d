#pragma once
// One batch from many starts. Explorer starts "zandrel.exe /batch FILE" once per
// selected file, nearly at once. The first start collects: it holds a named mutex
// and a message-only window, and takes the others' files (WM_COPYDATA) until they
// stop coming; the others hand theirs over and end. A collector that is done
// refuses files, and a start that meets no collector collects itself. Only a
// /batch start collects: a Zandrel started otherwise is never asked.
#include <optional>
#include <string>
#include <vector>

#include "framework/win.h"

namespace zandrel {

inline constexpr const wchar_t* kCollectorClass = L"ZandrelBatchCollector";
inline constexpr const wchar_t* kCollectorMutex = L"Local\\ZandrelBatchCollector";

// Every file of the batch when this start is the one to ask (its own first), or
// nothing when another start took them. `own` are full paths.
std::optional<std::vector<std::wstring>> CollectBatchFiles(const std::vector<std::wstring>& own);

// Sends the files to a collector's window; true when it took them.
bool HandOverFiles(HWND collector, const std::vector<std::wstring>& files);

}  // namespace zandrel
