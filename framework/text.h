#pragma once
// Text in the ANSI code page and back. UPX for Windows prints in that code page,
// file names included (not OEM, not UTF-8), and reads its arguments in it.
#include <string>

#include "framework/win.h"

namespace zandrel {

std::wstring FromAnsi(const std::string& bytes);
// True when the text goes through the code page and back unchanged (no best-fit letter,
// no default character): a name UPX can be given as it is.
bool SurvivesCodePage(const std::wstring& text, UINT codePage);

}  // namespace zandrel
