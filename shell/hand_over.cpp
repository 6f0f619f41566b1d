#include "shell/hand_over.h"

#include <algorithm>

namespace zandrel {
namespace {

void PutUnit(std::vector<std::uint8_t>& bytes, std::uint32_t unit) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
}

bool IsHigh(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// "C:\..." or "\\server\..." (also "\\?\..."): a name no current folder changes.
bool IsFullPath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        const wchar_t drive = path[0];
        return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    }
    return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
}

// One name's units, whole UTF-16 (pairs joined where wchar_t holds a code point).
std::optional<std::wstring> DecodeName(const std::vector<std::uint32_t>& units) {
    std::wstring name;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u < 0x20 || u == 0x7F || IsLow(u)) return std::nullopt;
        if (!IsHigh(u)) {
            name.push_back(static_cast<wchar_t>(u));
            continue;
        }
        if (i + 1 >= units.size() || !IsLow(units[i + 1])) return std::nullopt;
        const std::uint32_t low = units[++i];
        if constexpr (sizeof(wchar_t) >= 4) {
            name.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
        } else {
            name.push_back(static_cast<wchar_t>(u));
            name.push_back(static_cast<wchar_t>(low));
        }
    }
    return name;
}

}  // namespace

std::vector<std::uint8_t> EncodeHandOver(const std::vector<std::wstring>& files) {
    std::vector<std::uint8_t> bytes;
    for (const auto& file : files) {
        for (const wchar_t c : file) {
            const auto code = static_cast<std::uint32_t>(c);
            if (code > 0xFFFF) {
                PutUnit(bytes, 0xD800 + ((code - 0x10000) >> 10));
                PutUnit(bytes, 0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                PutUnit(bytes, code);
            }
        }
        PutUnit(bytes, 0);
    }
    return bytes;
}

std::optional<std::vector<std::wstring>> DecodeHandOver(const std::uint8_t* data, std::size_t size) {
    if (!data || size == 0 || size % 2 != 0 || size > kMaxHandOverBytes) return std::nullopt;
    if (data[size - 2] != 0 || data[size - 1] != 0) return std::nullopt;  // the last name must end
    std::vector<std::wstring> files;
    std::vector<std::uint32_t> units;
    for (std::size_t at = 0; at < size; at += 2) {
        const std::uint32_t unit = data[at] | (static_cast<std::uint32_t>(data[at + 1]) << 8);
        if (unit != 0) {
            if (units.size() >= kMaxPathUnits) return std::nullopt;
            units.push_back(unit);
            continue;
        }
        if (units.empty() || files.size() >= kMaxHandOverFiles) return std::nullopt;
        auto name = DecodeName(units);
        if (!name || !IsFullPath(*name)) return std::nullopt;
        files.push_back(std::move(*name));
        units.clear();
    }
    return files;
}

FileCollection::FileCollection(std::vector<std::wstring> own, std::uint64_t startMs)
    : files_(std::move(own)), start_(startMs), last_(startMs) {}

bool FileCollection::Add(const std::vector<std::wstring>& files, std::uint64_t nowMs) {
    if (WaitLeft(nowMs) == 0 || files_.size() + files.size() > kMaxCollectedFiles) return false;
    files_.insert(files_.end(), files.begin(), files.end());
    last_ = nowMs;
    return true;
}

std::uint64_t FileCollection::WaitLeft(std::uint64_t nowMs) {
    if (over_) return 0;
    const std::uint64_t quietEnd = last_ + kQuietMs, longestEnd = start_ + kLongestMs;
    const std::uint64_t end = std::min(quietEnd, longestEnd);
    if (nowMs >= end) {
        over_ = true;
        return 0;
    }
    return end - nowMs;
}

}  // namespace zandrel
