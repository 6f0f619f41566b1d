#pragma once
// Files handed from one Zandrel to the one collecting a batch (WM_COPYDATA), and
// the collector's patience. Explorer starts the program once per selected file;
// the first start collects the others' files until they stop coming. The bytes
// come from any process of the session, so decoding trusts nothing in them.
// Portable (no <windows.h>): shell/BatchHandOver.* carries them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zandrel {

inline constexpr std::uintptr_t kHandOverTag = 0x5A616E42;   // the message's dwData: "ZanB"
inline constexpr std::size_t kMaxHandOverFiles = 4096;        // per message
inline constexpr std::size_t kMaxCollectedFiles = 65536;      // per batch
inline constexpr std::size_t kMaxPathUnits = 32767;            // the longest path Windows takes
inline constexpr std::size_t kMaxHandOverBytes = 4u << 20;

// The files as UTF-16 code units, little-endian, each ending in a zero unit.
std::vector<std::uint8_t> EncodeHandOver(const std::vector<std::wstring>& files);
// The files, or nothing when the bytes are not a hand-over: an odd or too large size,
// no files or too many, a name that is empty, too long, not whole UTF-16, holds a
// control character or is not a full path (a drive's "C:\" or a "\\" network path).
std::optional<std::vector<std::wstring>> DecodeHandOver(const std::uint8_t* data, std::size_t size);

// The collector's patience: it collects until no file came for `quietMs`,
// and never longer than `longestMs` from its start. Explorer starts one program per
// selected file, and a few hundred of them take several seconds: the quiet time,
// not the longest, ends a selection.
class FileCollection {
public:
    static constexpr std::uint64_t kQuietMs = 500, kLongestMs = 60000;
    FileCollection(std::vector<std::wstring> own, std::uint64_t startMs);
    // False (and nothing taken) once it is over, or when the batch would grow too large.
    bool Add(const std::vector<std::wstring>& files, std::uint64_t nowMs);
    // How long to wait for more; 0 when collecting is over (and it stays over).
    std::uint64_t WaitLeft(std::uint64_t nowMs);
    bool Over() const { return over_; }
    const std::vector<std::wstring>& Files() const { return files_; }

private:
    std::vector<std::wstring> files_;
    std::uint64_t start_, last_;
    bool over_ = false;
};

}  // namespace zandrel
