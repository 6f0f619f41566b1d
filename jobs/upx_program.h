#pragma once
// Telling UPX from any other program, as portable logic: only a console
// program is ever started to ask, and only one that answers "--version" as
// UPX does ("upx 4.2.3" on its first line) is taken as UPX.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zandrel {

// The subsystem a Windows program file asks for (2 windows, 3 console); 0
// when the bytes are not a program's. `read` gives up to `count` bytes from `offset`.
unsigned ProgramSubsystem(const std::function<std::string(std::uint64_t offset, std::size_t count)>& read);
inline constexpr unsigned kConsoleSubsystem = 3;

// UPX's version from its answer to --version: "4.2.3" for a first line
// "upx 4.2.3" (anything may follow the numbers, "4.2.3-git"); empty otherwise.
std::string UpxVersionIn(const std::vector<std::string>& lines);

// UPX's reason in its output: the text after "upx: NAME: " of its last such line
// ("NotCompressibleException: ..."), or empty when there is none.
std::wstring UpxReason(const std::vector<std::wstring>& outputLines);

// What the check found, in words for the user: why a program is not taken as UPX.
enum class UpxVerdict { Upx, Missing, NotAProgram, Windowed, NoAnswer, OtherAnswer };
std::wstring UpxProblemText(UpxVerdict verdict, const std::wstring& program, const std::wstring& firstLine);

}  // namespace zandrel
