#pragma once
// The file list's texts and order, as portable logic: masks, the size, date
// and attribute columns, the column captions, and the sort comparison.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zandrel {

// " *.EXE , *.dll " -> "*.exe;*.dll"; empty -> "*.*".
std::wstring NormaliseMask(const std::wstring& mask);
// The masks of a normalised mask, in order, each once.
std::vector<std::wstring> SplitMasks(const std::wstring& normalised);

// Decimal digits of |size| with `separator` before every group of three from the right.
std::wstring SizeText(std::int64_t size, wchar_t separator);

// Letters of the set bits in the order c a s h r; with `attrSpace` not empty, a
// fixed-width text where clear bits give attrSpace (the c position only on NT).
std::wstring AttrText(std::uint32_t attr, const std::wstring& attrSpace = L"", bool ntFamily = true);

enum class TDateTimeDisplay : std::uint8_t { dtdDate, dtdDateTime, dtdDateTimeSec };
// The date part: a two-digit year made four digits; `previous` when the format has no year at either end.
std::wstring DatePart(const std::wstring& shortDateFormat, const std::wstring& previous);
std::wstring DateTimeFormat(TDateTimeDisplay display, const std::wstring& datePart, const std::wstring& shortTime,
                            const std::wstring& longTime);

// Column captions and the file-type pattern by the locale's primary language (7 German, 12 French).
std::vector<std::wstring> ColumnCaptions(int primaryLanguage);
std::wstring FileTypePattern(int primaryLanguage);  // with %s for the extension

// One row of the list as the sort sees it.
struct ListEntry {
    std::wstring DisplayName;
    std::wstring TypeName;
    std::wstring FileExt;
    bool IsDirectory = false;
    bool IsParentDir = false;
    std::int64_t Size = 0;      // 64-bit: files of 2 GiB and more
    std::int64_t FileTime = 0;  // 100-ns units; signed, so times before 1601 or 1980 order correctly
    std::uint32_t Attr = 0;
    std::uint32_t NameKey = 0;  // scratch of a sort: where the entry's sort key is kept
};

struct SortOrder {
    int column = 0;  // 0 name, 1 size, 2 type, 3 date, 4 attributes
    bool ascending = true;
    bool dirsOnTop = false;
    bool operator==(const SortOrder&) const = default;
};

// Locale-aware case-insensitive comparison: < 0, 0, > 0.
using NameCompare = std::function<int(const std::wstring&, const std::wstring&)>;
// The text of an entry a sort by this column compares by name: the display name, or for
// the type column the type name, extension and display name.
std::wstring SortText(const ListEntry& entry, int column);
// The same comparison of two entries' sort texts; a sort may give one that reads keys
// made once per entry (cheaper than a locale comparison per pair). Empty: `names`.
using EntryNameCompare = std::function<int(const ListEntry&, const ListEntry&)>;
int CompareEntries(const ListEntry& a, const ListEntry& b, const SortOrder& order, const NameCompare& names,
                   const EntryNameCompare& byName = {});

// A click on a column header: the sort column flips the direction, another column takes over keeping it.
SortOrder ColumnClicked(SortOrder order, int column);

}  // namespace zandrel
