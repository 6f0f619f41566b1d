#pragma once
// File facts on the real disk, with long paths (past MAX_PATH) made usable.
#include <cstdint>
#include <optional>
#include <string>

#include "framework/win.h"

namespace zandrel {

// The form the file APIs accept for any length: "\\?\C:\..." or "\\?\UNC\..."
// for long absolute paths; other paths as they are.
std::wstring ApiPath(const std::wstring& path);
// The whole path of a name relative to the current folder; the name itself if it has none.
std::wstring FullPathOf(const std::wstring& path);
bool IsExistingFile(const std::wstring& path);    // a file, not a folder
bool IsExistingFolder(const std::wstring& path);
// A file's size in bytes; -1 when there is no such file.
std::int64_t FileSizeOf(const std::wstring& path);
// Whether both names open one file, compared by volume and file id with both
// open at once; false when either does not exist; nullopt when it cannot be told.
std::optional<bool> SameFileOnDisk(const std::wstring& a, const std::wstring& b);
// One file however its path is spelled: its volume and file id; empty when it cannot be opened.
std::wstring FileIdentity(const std::wstring& path);
// Both files readable and byte for byte the same.
bool SameFileContent(const std::wstring& a, const std::wstring& b);
// Up to `count` bytes from `offset`; fewer at the file's end, none when it cannot be read.
std::string ReadFileBytes(const std::wstring& path, std::uint64_t offset, std::size_t count);
// How hard RemoveFileAt tries: `ReadOnlyToo` clears the read-only attribute first;
// `Patiently` also keeps trying for up to a second (a program just ended may hold
// its file a moment longer).
enum class Removal : std::uint8_t { AsItIs, ReadOnlyToo, Patiently };
// Removes a file; true when it is gone, also when it was not there.
bool RemoveFileAt(const std::wstring& path, Removal how = Removal::AsItIs);
// Writes `bytes` as the file `path`, whole or not at all: into a new file beside it,
// then moved over it. A failure (a full disk, a file in use) leaves `path` as it was.
bool WriteFileWhole(const std::wstring& path, const std::string& bytes);
// The running program's file, its whole path; and its folder, with a trailing separator.
std::wstring ProgramPath();
std::wstring ProgramFolder();

}  // namespace zandrel
