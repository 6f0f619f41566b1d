#pragma once
// The batch window's table as portable logic: the columns and their texts, the
// rows' order (sorted by a column, failures first if asked), the progress and
// totals lines, and the table as tab-separated and CSV text.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/batch.h"

namespace zandrel {

enum class BatchColumn : std::uint8_t { File, Folder, SizeBefore, SizeAfter, Ratio, Result, Reason };
inline constexpr int kBatchColumns = 7;

std::wstring ColumnCaption(BatchColumn column);
// A cell as the table shows it (sizes with grouped digits, "-" for a size not known).
std::wstring CellText(const BatchFileOutcome& file, BatchColumn column);

// Failures: files UPX failed on, or that were not done at all.
bool IsFailure(BatchResult result);

struct BatchView {
    std::optional<BatchColumn> sortBy;  // none: the batch's own order
    bool ascending = true;
    bool failuresFirst = false;
};
// The files' indices in the order the table shows them. Ties keep the batch's order.
std::vector<std::size_t> RowOrder(const std::vector<BatchFileOutcome>& files, const BatchView& view);

// "12 of 40 done, 1 failed, 2 working": files finished (whatever their result) of all.
std::wstring ProgressLine(const std::vector<BatchFileOutcome>& files);
// The totals once the batch ended: counts by result, and for a job that changes
// files (`sizes`) the sizes of the files done before and after.
std::wstring TotalsLine(const std::vector<BatchFileOutcome>& files, bool sizes = true);

// Rows as a spreadsheet takes them from the clipboard: a heading row, then one
// line per row, cells separated by tabs, sizes as plain numbers, lines ended by CR LF.
std::wstring RowsAsTabText(const std::vector<BatchFileOutcome>& files, const std::vector<std::size_t>& rows);
// The same rows as a CSV file: UTF-8 with a byte order mark, commas, quotes where a cell needs them.
std::string RowsAsCsv(const std::vector<BatchFileOutcome>& files, const std::vector<std::size_t>& rows);

}  // namespace zandrel
