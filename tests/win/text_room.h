#pragma once
// Measures whether every text of a window can be read whole: its title against the caption
// bar, and each child that shows text (labels, push buttons, check boxes, radio buttons,
// group boxes, 3D labels, the closed field of a drop-down list) with the control's own font
// against the control's rectangle. Also that no such control is covered by a sibling or
// reaches past its parent. The children are found by walking the window, so a control added
// later is measured without a change here.
#include <string>
#include <vector>

#include "framework/win.h"

namespace zandrel::test {

// One line per text that does not fit, saying what needs how much room and has how much;
// empty when every text of `top` fits.
std::vector<std::wstring> CutTexts(HWND top);

// The same lines joined for a failure message.
std::string CutTextsReport(HWND top, const char* window);

}  // namespace zandrel::test
