#pragma once
// Text the system hands over in the ANSI code page, widened. UPX for Windows
// prints in that code page, file names included (not OEM, not UTF-8).
#include <string>
#include <vector>

namespace zandrel {

std::wstring FromAnsi(const std::string& bytes);
// Bytes cut into lines at CR LF, LF or a lone CR, each widened; the last line may lack its break.
std::vector<std::wstring> AnsiLines(const std::string& bytes);

}  // namespace zandrel
