#pragma once
// The favourite folders as a list of menu captions, newest first. Portable:
// the main window keeps its pop-up menu in step with these captions.
#include <string>
#include <vector>

namespace zandrel {

// Adds `folder` at the top unless it is empty or already there (ASCII case
// ignored). A full list drops its bottom caption; otherwise the list grows by
// one. False when nothing changed.
bool AddFavorite(std::vector<std::wstring>& captions, const std::wstring& folder, std::size_t maxFavorites);

// Removes the caption at `position`: the ones below move up and the bottom
// position stays, empty.
void RemoveFavorite(std::vector<std::wstring>& captions, std::size_t position);

// The captions stored: from the top, up to the first empty one.
std::vector<std::wstring> StoredFavorites(const std::vector<std::wstring>& captions);

}  // namespace zandrel
