#pragma once
// What a job did, in one line for the main window's status line: the file, its
// size before and after and the ratio, or the failure and UPX's reason; after a
// test or a list, UPX's verdict in a few words. Portable.
#include <cstdint>
#include <string>

#include "jobs/job_command.h"

namespace zandrel {

// Digits in groups of three: 1,234,567.
std::wstring GroupedDigits(std::int64_t value);

struct RunReport {
    std::wstring file;        // the file's name
    bool decompress = false;
    std::int64_t sizeBefore = -1, sizeAfter = -1;  // -1: unknown
    RunOutcome outcome;
    std::wstring reason;      // UPX's own words, where Zandrel has them
    JobEnd end = JobEnd::AsUpxSaid;  // what the job's end found (its message says more)
};
std::wstring StatusOfRun(const RunReport& report);

enum class Verdict { Test, List, Version };
// After a captured run: UPX's exit code and its reason or its first line.
std::wstring StatusOfVerdict(Verdict kind, const std::wstring& file, std::uint32_t exitCode, const std::wstring& reason,
                             const std::wstring& firstLine);

}  // namespace zandrel
