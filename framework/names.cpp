#include "framework/names.h"

namespace zandrel {
namespace {

// Ranges where capitals and small letters alternate (even code capital, odd small).
constexpr bool InPairedRange(wchar_t c) {
    return (c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177) ||
           (c >= 0x01DE && c <= 0x01EF) || (c >= 0x01F8 && c <= 0x021F) || (c >= 0x0222 && c <= 0x0233) ||
           (c >= 0x0246 && c <= 0x024F) || (c >= 0x03D8 && c <= 0x03EF) || (c >= 0x0460 && c <= 0x0481) ||
           (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x052F) || (c >= 0x1E00 && c <= 0x1E95) ||
           (c >= 0x1EA0 && c <= 0x1EFF);
}

// Ranges where the capital comes first and the small letter after it at odd positions.
constexpr bool InOddPairedRange(wchar_t c) {
    return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E) || (c >= 0x01CD && c <= 0x01DC) ||
           (c >= 0x04C1 && c <= 0x04CE);
}

}  // namespace

wchar_t FoldedLetter(wchar_t c) {
    if (c < 0x80) return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) ||        // Latin-1 small letters
        (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) ||  // Greek
        (c >= 0x0430 && c <= 0x044F) ||                 // Cyrillic
        (c >= 0xFF41 && c <= 0xFF5A))                   // full-width Latin
        return static_cast<wchar_t>(c - 0x20);
    if (c == 0xFF) return 0x0178;
    if (c == 0x03C2) return 0x03A3;                        // final sigma
    if (c >= 0x03AC && c <= 0x03AF) return c == 0x03AC ? 0x0386 : static_cast<wchar_t>(c - 0x25);
    if (c >= 0x03CC && c <= 0x03CE) return c == 0x03CC ? 0x038C : static_cast<wchar_t>(c - 0x3F);
    if (c >= 0x0450 && c <= 0x045F) return static_cast<wchar_t>(c - 0x50);  // Cyrillic with marks
    if (c >= 0x0561 && c <= 0x0586) return static_cast<wchar_t>(c - 0x30);  // Armenian
    if (c == 0x04CF) return 0x04C0;
    if (InPairedRange(c)) return static_cast<wchar_t>(c & ~1);
    if (InOddPairedRange(c) && (c & 1) == 0) return static_cast<wchar_t>(c - 1);
    return c;
}


std::wstring FoldedName(const std::wstring& name) {
    std::wstring folded = name;
    for (auto& c : folded) c = FoldedLetter(c);
    return folded;
}

bool SameName(const std::wstring& a, const std::wstring& b) { return a.size() == b.size() && FoldedName(a) == FoldedName(b); }

std::wstring FolderPart(const std::wstring& path) {
    const auto sep = path.find_last_of(L"\\/");
    if (sep == std::wstring::npos) return {};
    // "C:\file" -> "C:\" and "\\file" -> "\": a root keeps its separator.
    const bool root = sep == 0 || (sep == 2 && path[1] == L':');
    return path.substr(0, root ? sep + 1 : sep);
}

std::wstring FileNamePart(const std::wstring& path) {
    const auto sep = path.find_last_of(L"\\/:");
    return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const wchar_t last = folder.back();
    return last == L'\\' || last == L'/' ? folder + name : folder + L"\\" + name;
}

std::wstring FolderForSystem(const std::wstring& folder) {
    return folder.size() == 2 && folder[1] == L':' ? folder + L"\\" : folder;
}

}  // namespace zandrel
