#include "browser/drive_names.h"

#include <algorithm>
#include <cwctype>

#include "framework/error.h"

namespace zandrel {

wchar_t CheckDriveLetter(wchar_t letter) {
    const auto upper = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(letter)));
    if (upper < L'A' || upper > L'Z')
        throw ConvertError(FormatMessageText(L"%s is a invalid drive letter.", std::wstring(1, letter)));
    return upper;
}

bool HiddenByPolicy(std::uint32_t noDrives, wchar_t letter) {
    return (noDrives >> (CheckDriveLetter(letter) - L'A')) & 1u;
}

bool IsShownDrive(std::uint32_t driveType, bool hidden) { return !hidden && driveType >= 2 && driveType <= 6; }

std::wstring CdDisplayName(const std::wstring& label, wchar_t letter) {
    std::wstring name = label.substr(0, 1);
    for (const wchar_t c : label.substr(1, 23)) name.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))));
    return name + L" (" + std::wstring(1, letter) + L":)";
}

std::wstring CutBeforeLetter(const std::wstring& text, wchar_t letter) {
    const auto at = text.find(L"(" + std::wstring(1, letter));
    return at == std::wstring::npos ? text : text.substr(0, at);
}

std::wstring PrettyName(wchar_t letter, const std::wstring& displayName) {
    return CutBeforeLetter(std::wstring(1, letter) + L": " + displayName, letter);
}

std::wstring LongPrettyName(const std::wstring& prettyName, const std::wstring& displayName, wchar_t letter) {
    return CutBeforeLetter(prettyName.substr(0, 3) + displayName, letter);
}

std::wstring NetworkPrettyName(wchar_t letter, const std::wstring& remoteName) {
    const auto sep = remoteName.find_last_of(L"\\/");
    return std::wstring(1, letter) + L": " + (sep == std::wstring::npos ? remoteName : remoteName.substr(sep + 1));
}

std::wstring NetworkLongPrettyName(wchar_t letter, const std::wstring& remoteName) {
    return std::wstring(1, letter) + L": " + remoteName;
}

int SelectorEditHeight(int textHeight, int iconHeight) { return std::max({textHeight, iconHeight, 10}) + 2; }

int SelectorItemHeight(int textHeight, int iconHeight) {
    return std::max(SelectorEditHeight(textHeight, iconHeight), 12);
}

int SelectorDropDownWidth(int fixedWidth, int widestEntry, int textOffset, int endMargin) {
    return fixedWidth > 0 ? fixedWidth : widestEntry + textOffset + endMargin;
}

}  // namespace zandrel
