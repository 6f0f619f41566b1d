#pragma once
// What a batch is about to do, in words: the question asked before it starts,
// and the batch window's caption.
#include <cstddef>
#include <string>
#include <vector>

#include "jobs/batch.h"

namespace zandrel {

// "Compress at level 9 (-9), with backups", "Test (-t)": the job with its options.
std::wstring JobDescription(const JobForm& form);
// "40 files in 2 folders; 3 packed already, left out" (or, while counting, "1,024 files so far...").
std::wstring CountLine(const BatchScan& scan, bool counting);
// The first names, one per line; "... and N more" for the rest.
std::wstring FirstNames(const std::vector<std::wstring>& files, std::size_t shown);

}  // namespace zandrel
