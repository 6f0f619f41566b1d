#include "browser/favorites.h"

#include <algorithm>

namespace zandrel {
namespace {

std::wstring AsciiLower(std::wstring s) {
    for (auto& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

}  // namespace

bool AddFavorite(std::vector<std::wstring>& captions, const std::wstring& folder, std::size_t maxFavorites) {
    if (folder.empty()) return false;
    const auto wanted = AsciiLower(folder);
    if (std::any_of(captions.begin(), captions.end(), [&](const auto& c) { return AsciiLower(c) == wanted; }))
        return false;
    if (captions.size() < maxFavorites) captions.emplace_back();
    for (std::size_t j = captions.size() - 1; j >= 1; --j) captions[j] = captions[j - 1];
    captions[0] = folder;
    return true;
}

void RemoveFavorite(std::vector<std::wstring>& captions, std::size_t position) {
    if (position >= captions.size()) return;
    for (std::size_t i = position; i + 1 < captions.size(); ++i) captions[i] = captions[i + 1];
    captions.back().clear();
}

std::vector<std::wstring> StoredFavorites(const std::vector<std::wstring>& captions) {
    std::vector<std::wstring> stored;
    for (const auto& c : captions) {
        if (c.empty()) break;
        stored.push_back(c);
    }
    return stored;
}

}  // namespace zandrel
