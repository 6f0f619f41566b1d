#include "batch/batch_table.h"

#include <algorithm>
#include <array>

#include "batch/batch_plan.h"
#include "framework/names.h"
#include "jobs/job_report.h"

namespace zandrel {
namespace {

std::wstring SizeText(std::int64_t size) { return size < 0 ? std::wstring(L"-") : GroupedDigits(size); }

// A cell as a spreadsheet reads it: sizes as plain numbers, no line breaks or tabs inside.
std::wstring PlainCell(const BatchFileOutcome& file, BatchColumn column) {
    std::wstring text;
    if (column == BatchColumn::SizeBefore || column == BatchColumn::SizeAfter) {
        const std::int64_t size = column == BatchColumn::SizeBefore ? file.sizeBefore : file.sizeAfter;
        text = size < 0 ? std::wstring() : std::to_wstring(size);
    } else {
        text = CellText(file, column);
        if (text == L"-") text.clear();
    }
    for (auto& c : text)
        if (c == L'\t' || c == L'\r' || c == L'\n') c = L' ';
    // A spreadsheet would take a name such as "=cmd|..." for a formula: it stays text.
    if (!text.empty() && (text[0] == L'=' || text[0] == L'+' || text[0] == L'-' || text[0] == L'@')) text = L"'" + text;
    return text;
}

// The ratio as a number to sort by.
double RatioValue(const BatchFileOutcome& file) {
    return static_cast<double>(file.sizeAfter) / static_cast<double>(file.sizeBefore);
}

// Whether the cell shows a value to sort by: a blank or "-" sorts after every value, either way.
bool ShowsValue(const BatchFileOutcome& file, BatchColumn column) {
    switch (column) {
        case BatchColumn::SizeBefore: return file.sizeBefore >= 0;
        case BatchColumn::SizeAfter: return Finished(file.result) && file.sizeAfter >= 0;
        case BatchColumn::Ratio: return file.result == BatchResult::Done && file.sizeBefore > 0 && file.sizeAfter >= 0;
        default: return true;
    }
}

// -1, 0 or 1 as `a` comes before, with or after `b` in the column's ascending order.
int Compare(const BatchFileOutcome& a, const BatchFileOutcome& b, BatchColumn column) {
    auto order = [](auto x, auto y) { return x < y ? -1 : y < x ? 1 : 0; };
    switch (column) {
        case BatchColumn::SizeBefore: return order(a.sizeBefore, b.sizeBefore);
        case BatchColumn::SizeAfter: return order(a.sizeAfter, b.sizeAfter);
        case BatchColumn::Ratio: return order(RatioValue(a), RatioValue(b));
        case BatchColumn::Result: return order(static_cast<int>(a.result), static_cast<int>(b.result));
        default: return order(FoldedName(CellText(a, column)), FoldedName(CellText(b, column)));
    }
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// UTF-16 (or UTF-32 where wchar_t is that wide) to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t code = static_cast<std::uint32_t>(text[i]);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
        else if (code >= 0xD800 && code <= 0xDFFF)
            code = 0xFFFD;
        AppendUtf8(out, code);
    }
    return out;
}

std::wstring CsvCell(const std::wstring& text) {
    if (text.find_first_of(L",\"\r\n") == std::wstring::npos) return text;
    std::wstring quoted = L"\"";
    for (const wchar_t c : text) {
        if (c == L'"') quoted += L'"';
        quoted += c;
    }
    return quoted + L"\"";
}

constexpr std::array<BatchColumn, kBatchColumns> kColumns{BatchColumn::File,      BatchColumn::Folder,
                                                          BatchColumn::SizeBefore, BatchColumn::SizeAfter,
                                                          BatchColumn::Ratio,      BatchColumn::Result,
                                                          BatchColumn::Reason};

// Counts are grouped as the question grouped them: "1,000 of 1,234 done".
std::wstring Counted(std::size_t count, const wchar_t* what) {
    return GroupedDigits(static_cast<std::int64_t>(count)) + L" " + what;
}

}  // namespace

std::wstring ColumnCaption(BatchColumn column) {
    switch (column) {
        case BatchColumn::File: return L"File";
        case BatchColumn::Folder: return L"Folder";
        case BatchColumn::SizeBefore: return L"Before";
        case BatchColumn::SizeAfter: return L"After";
        case BatchColumn::Ratio: return L"Ratio";
        case BatchColumn::Result: return L"Result";
        case BatchColumn::Reason: break;
    }
    return L"Reason";
}

std::wstring CellText(const BatchFileOutcome& file, BatchColumn column) {
    switch (column) {
        case BatchColumn::File: return FileNamePart(file.path);
        case BatchColumn::Folder: return FolderPart(file.path);
        case BatchColumn::SizeBefore: return SizeText(file.sizeBefore);
        case BatchColumn::SizeAfter: return Finished(file.result) ? SizeText(file.sizeAfter) : std::wstring();
        case BatchColumn::Ratio: {
            if (file.result != BatchResult::Done) return {};
            const auto ratio = RatioText(file.sizeBefore, file.sizeAfter);
            return ratio.empty() ? std::wstring(L"-") : ratio;
        }
        case BatchColumn::Result: return ResultWord(file.result);
        case BatchColumn::Reason: break;
    }
    return file.reason;
}

bool IsFailure(BatchResult result) {
    return result == BatchResult::Error || result == BatchResult::Warning || result == BatchResult::NotDone;
}

std::vector<std::size_t> RowOrder(const std::vector<BatchFileOutcome>& files, const BatchView& view) {
    std::vector<std::size_t> rows(files.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = i;
    std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
        if (view.failuresFirst) {
            const bool failedA = IsFailure(files[a].result), failedB = IsFailure(files[b].result);
            if (failedA != failedB) return failedA;
        }
        if (!view.sortBy) return false;
        const bool shownA = ShowsValue(files[a], *view.sortBy), shownB = ShowsValue(files[b], *view.sortBy);
        if (shownA != shownB) return shownA;
        if (!shownA) return false;
        const int order = Compare(files[a], files[b], *view.sortBy);
        return view.ascending ? order < 0 : order > 0;
    });
    return rows;
}

std::wstring ProgressLine(const std::vector<BatchFileOutcome>& files) {
    std::size_t finished = 0, warned = 0, failed = 0, working = 0;
    for (const auto& file : files) {
        finished += Finished(file.result);
        warned += file.result == BatchResult::Warning;
        failed += file.result == BatchResult::Error;
        working += file.result == BatchResult::Working;
    }
    std::wstring line = GroupedDigits(static_cast<std::int64_t>(finished)) + L" of " + Counted(files.size(), L"done");
    // What "Failures first" would bring up is counted as it comes, not only in the totals.
    if (warned > 0) line += L", " + Counted(warned, L"with a warning");
    if (failed > 0) line += L", " + Counted(failed, L"failed");
    if (working > 0) line += L", " + Counted(working, L"working");
    return line;
}

std::wstring TotalsLine(const std::vector<BatchFileOutcome>& files, bool sizes) {
    std::array<std::size_t, 8> counts{};
    std::int64_t before = 0, after = 0;
    for (const auto& file : files) {
        ++counts[static_cast<std::size_t>(file.result)];
        if (file.result == BatchResult::Done && file.sizeBefore >= 0 && file.sizeAfter >= 0)
            before += file.sizeBefore, after += file.sizeAfter;
    }
    auto count = [&](BatchResult result) { return counts[static_cast<std::size_t>(result)]; };
    std::wstring line = FilesCounted(files.size()) + L": " +
                        Counted(count(BatchResult::Done), L"done");
    const std::pair<BatchResult, const wchar_t*> others[] = {
        {BatchResult::AlreadyPacked, L"already packed"}, {BatchResult::Warning, L"with a warning"},
        {BatchResult::Error, L"failed"},                 {BatchResult::NotDone, L"not done"},
        {BatchResult::PutBack, L"put back"}};
    for (const auto& [result, words] : others)
        if (count(result) > 0) line += L", " + Counted(count(result), words);
    if (sizes && count(BatchResult::Done) > 0) {
        line += L"; " + GroupedDigits(before) + L" bytes to " + GroupedDigits(after);
        if (const auto ratio = RatioText(before, after); !ratio.empty()) line += L" (" + ratio + L")";
    }
    return line + L".";
}

std::wstring RowsAsTabText(const std::vector<BatchFileOutcome>& files, const std::vector<std::size_t>& rows) {
    std::wstring text;
    for (const auto column : kColumns) text += (column == kColumns.front() ? L"" : L"\t") + ColumnCaption(column);
    text += L"\r\n";
    for (const auto row : rows) {
        for (const auto column : kColumns)
            text += (column == kColumns.front() ? L"" : L"\t") + PlainCell(files[row], column);
        text += L"\r\n";
    }
    return text;
}

std::string RowsAsCsv(const std::vector<BatchFileOutcome>& files, const std::vector<std::size_t>& rows) {
    std::wstring text;
    for (const auto column : kColumns) text += (column == kColumns.front() ? L"" : L",") + CsvCell(ColumnCaption(column));
    text += L"\r\n";
    for (const auto row : rows) {
        for (const auto column : kColumns)
            text += (column == kColumns.front() ? L"" : L",") + CsvCell(PlainCell(files[row], column));
        text += L"\r\n";
    }
    return "\xEF\xBB\xBF" + Utf8(text);
}

}  // namespace zandrel
