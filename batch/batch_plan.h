#pragma once
// What a batch is about to do, in words: the question asked before it starts,
// and the batch window's caption.
#include <cstddef>
#include <string>
#include <vector>

#include "jobs/batch.h"

namespace zandrel {

// "1 file", "1,234 files".
std::wstring FilesCounted(std::size_t count);
// "Compress at level 9 (-9), with backups", "Test (-t)": the job with its options.
std::wstring JobDescription(const JobForm& form);
// "40 files in 2 folders under C:\a; 3 packed already, left out" (or, while counting,
// "1,024 files so far...").
std::wstring CountLine(const BatchScan& scan, bool counting);
// The folder every file is in (at any depth); empty where they share none (other drives).
std::wstring CommonFolder(const std::vector<std::wstring>& files);
// The first names from their common folder, one per line, a line longer than `longest`
// cut in the middle; "... and N more" for the rest.
std::wstring FirstNames(const std::vector<std::wstring>& files, std::size_t shown, std::size_t longest);

}  // namespace zandrel
