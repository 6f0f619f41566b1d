#include "browser/list_logic.h"

#include <algorithm>
#include <cwctype>

namespace zandrel {

std::wstring NormaliseMask(const std::wstring& mask) {
    const auto first = mask.find_first_not_of(L' ');
    if (first == std::wstring::npos) return L"*.*";
    std::wstring m = mask.substr(first, mask.find_last_not_of(L' ') - first + 1);
    for (auto& c : m)
        if (c == L' ' || c == L',') c = L';';
    for (auto at = m.find(L";;"); at != std::wstring::npos; at = m.find(L";;")) m.erase(at, 1);
    for (auto& c : m) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return m;
}

std::vector<std::wstring> SplitMasks(const std::wstring& normalised) {
    std::vector<std::wstring> masks;
    std::size_t start = 0;
    while (start <= normalised.size()) {
        const auto end = normalised.find(L';', start);
        auto mask = normalised.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!mask.empty() && std::find(masks.begin(), masks.end(), mask) == masks.end()) masks.push_back(mask);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return masks;
}

std::wstring SizeText(std::int64_t size, wchar_t separator) {
    // The magnitude as unsigned, so even the smallest 64-bit value has one.
    std::uint64_t v = size < 0 ? 0 - static_cast<std::uint64_t>(size) : static_cast<std::uint64_t>(size);
    std::wstring digits;
    int count = 0;
    do {
        if (count > 0 && count % 3 == 0) digits.push_back(separator);
        digits.push_back(static_cast<wchar_t>(L'0' + v % 10));
        v /= 10;
        ++count;
    } while (v);
    return std::wstring(digits.rbegin(), digits.rend());
}

std::wstring AttrText(std::uint32_t attr, const std::wstring& attrSpace, bool ntFamily) {
    struct Bit {
        std::uint32_t mask;
        wchar_t letter;
    };
    static constexpr Bit kBits[] = {{0x800, L'c'}, {0x20, L'a'}, {0x4, L's'}, {0x2, L'h'}, {0x1, L'r'}};
    std::wstring text;
    for (const auto& bit : kBits) {
        if (bit.letter == L'c' && !attrSpace.empty() && !ntFamily) continue;
        if (attr & bit.mask)
            text.push_back(bit.letter);
        else
            text += attrSpace;
    }
    return text;
}

std::wstring DatePart(const std::wstring& shortDateFormat, const std::wstring& previous) {
    std::wstring upper = shortDateFormat;
    for (auto& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    if (upper.find(L"YYYY") != std::wstring::npos) return shortDateFormat;
    if (upper.size() >= 2 && upper.compare(upper.size() - 2, 2, L"YY") == 0) return shortDateFormat + L"yy";
    if (upper.rfind(L"YY", 0) == 0) return L"yy" + shortDateFormat;
    return previous;
}

std::wstring DateTimeFormat(TDateTimeDisplay display, const std::wstring& datePart, const std::wstring& shortTime,
                            const std::wstring& longTime) {
    switch (display) {
        case TDateTimeDisplay::dtdDateTimeSec: return datePart + L"  " + longTime;
        case TDateTimeDisplay::dtdDateTime: return datePart + L"  " + shortTime;
        case TDateTimeDisplay::dtdDate: break;
    }
    return datePart;
}

std::vector<std::wstring> ColumnCaptions(int primaryLanguage) {
    if (primaryLanguage == 7) return {L"Name", L"Gr\u00f6\u00dfe", L"Typ", L"Ge\u00e4ndert am", L"Attr"};
    if (primaryLanguage == 12) return {L"Nom", L"Taille", L"Type", L"Date", L"Attributs"};
    return {L"Name", L"Size", L"Type", L"Changed", L"Attr"};
}

std::wstring FileTypePattern(int primaryLanguage) {
    if (primaryLanguage == 7) return L"Datei %s";
    if (primaryLanguage == 12) return L"Fichier %s";
    return L"File %s";
}

std::wstring SortText(const ListEntry& entry, int column) {
    return column == 2 ? entry.TypeName + L" " + entry.FileExt + L" " + entry.DisplayName : entry.DisplayName;
}

namespace {

int Sign(std::int64_t d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

struct NameOrder {
    const NameCompare& names;
    const EntryNameCompare& byName;
    int column;
    int operator()(const ListEntry& a, const ListEntry& b) const {
        if (byName) return byName(a, b);
        return column == 2 ? names(SortText(a, column), SortText(b, column)) : names(a.DisplayName, b.DisplayName);
    }
};

int ByColumn(const ListEntry& a, const ListEntry& b, int column, const NameOrder& byName) {
    switch (column) {
        case 1:
            if (const int s = Sign(a.Size - b.Size)) return s;
            return byName(a, b);
        case 4:
            if (a.Attr != b.Attr) return a.Attr < b.Attr ? -1 : 1;
            return byName(a, b);
        default:
            return byName(a, b);
    }
}

}  // namespace

int CompareEntries(const ListEntry& a, const ListEntry& b, const SortOrder& order, const NameCompare& names,
                   const EntryNameCompare& entryNames) {
    const NameOrder byName{names, entryNames, order.column};
    if (&a == &b) return 0;
    if (a.IsParentDir != b.IsParentDir) return a.IsParentDir ? -1 : 1;  // first in both directions
    if (a.IsParentDir) return 0;
    const int direction = order.ascending ? 1 : -1;
    if (a.IsDirectory != b.IsDirectory) {
        const int folderFirst = a.IsDirectory ? -1 : 1;
        return order.dirsOnTop ? folderFirst : folderFirst * direction;
    }
    if (order.column == 3) {
        // Equal dates keep ascending name order whatever the direction.
        if (const int s = Sign(a.FileTime - b.FileTime)) return s * direction;
        return byName(a, b);
    }
    return ByColumn(a, b, order.column, byName) * direction;
}

SortOrder ColumnClicked(SortOrder order, int column) {
    if (column == order.column)
        order.ascending = !order.ascending;
    else
        order.column = column;
    return order;
}

}  // namespace zandrel
