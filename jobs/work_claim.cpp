#include "jobs/work_claim.h"

#include <cstdint>

namespace zandrel {
namespace {

// A kernel object's name has room for a hash of the key, not the key itself.
std::wstring ObjectName(const std::wstring& workKey) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const wchar_t c : workKey) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ull;
    }
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring name = L"Local\\Zandrel.WorkOn.";
    for (int shift = 60; shift >= 0; shift -= 4) name += digits[(hash >> shift) & 0xF];
    return name;
}

}  // namespace

std::unique_ptr<WorkClaim> WorkClaim::Take(const std::wstring& workKey) {
    // The mutex is never owned: its existence is the claim, and it goes with the last handle.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, ObjectName(workKey).c_str());
    if (!mutex) return std::unique_ptr<WorkClaim>(new WorkClaim(nullptr));  // none can be made: the own checks stand
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return std::unique_ptr<WorkClaim>(new WorkClaim(mutex));
}

WorkClaim::~WorkClaim() {
    if (mutex_) CloseHandle(mutex_);
}

}  // namespace zandrel
