#pragma once
// How the drive table names drives and sizes the drive selector (portable).
#include <cstdint>
#include <string>

namespace zandrel {

// The letter upper-cased; ConvertError "%s is a invalid drive letter." when it is not A to Z.
wchar_t CheckDriveLetter(wchar_t letter);
// Whether the policy word hides the letter (bit 0 hides A).
bool HiddenByPolicy(std::uint32_t noDrives, wchar_t letter);
// Drive types 2 (removable) to 6 (RAM disk) are shown, unless hidden.
bool IsShownDrive(std::uint32_t driveType, bool hidden);

// A CD's name from its label: "MYDISC" in E gives "Mydisc (E:)".
std::wstring CdDisplayName(const std::wstring& label, wchar_t letter);
// `text` cut just before the first "(" followed by the letter.
std::wstring CutBeforeLetter(const std::wstring& text, wchar_t letter);
// "C: Local Disk " from "Local Disk (C:)".
std::wstring PrettyName(wchar_t letter, const std::wstring& displayName);
std::wstring LongPrettyName(const std::wstring& prettyName, const std::wstring& displayName, wchar_t letter);
// A network drive: the last part of the remote name, and the whole of it.
std::wstring NetworkPrettyName(wchar_t letter, const std::wstring& remoteName);
std::wstring NetworkLongPrettyName(wchar_t letter, const std::wstring& remoteName);

// The selector's heights from the font's text height and the icons' height (which grow
// with the screen's DPI), and its open list's width: the widest name after the icon's room,
// and a margin after it (8 pixels at 96 dpi, grown with the DPI by the caller).
int SelectorEditHeight(int textHeight, int iconHeight);
int SelectorItemHeight(int textHeight, int iconHeight);
int SelectorDropDownWidth(int fixedWidth, int widestEntry, int textOffset, int endMargin);

}  // namespace zandrel
