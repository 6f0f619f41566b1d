#include "jobs/upx_options.h"

#include <array>

namespace zandrel {
namespace {

constexpr std::size_t kMaxKeepList = 1000;  // far beyond any real list, far below a command line's limit

struct Named {
    const wchar_t* text;
    int value;
};
constexpr std::array<Named, 4> kMethods{{{L"default", static_cast<int>(UpxMethod::Default)},
                                         {L"lzma", static_cast<int>(UpxMethod::Lzma)},
                                         {L"brute", static_cast<int>(UpxMethod::Brute)},
                                         {L"ultra-brute", static_cast<int>(UpxMethod::UltraBrute)}}};
constexpr std::array<Named, 3> kOverlays{{{L"copy", static_cast<int>(UpxOverlay::Copy)},
                                          {L"strip", static_cast<int>(UpxOverlay::Strip)},
                                          {L"skip", static_cast<int>(UpxOverlay::Skip)}}};
constexpr std::array<Named, 3> kRelocs{{{L"auto", static_cast<int>(UpxRelocs::Auto)},
                                        {L"keep", static_cast<int>(UpxRelocs::Keep)},
                                        {L"strip", static_cast<int>(UpxRelocs::Strip)}}};

// The stored names; the program's own, plain.
constexpr const wchar_t* kMethodName = L"AdvancedMethod";
constexpr const wchar_t* kForceName = L"AdvancedForce";
constexpr const wchar_t* kOverlayName = L"AdvancedOverlay";
constexpr const wchar_t* kExportsName = L"AdvancedCompressExports";
constexpr const wchar_t* kIconsName = L"AdvancedCompressIcons";
constexpr const wchar_t* kResourcesName = L"AdvancedCompressResources";
constexpr const wchar_t* kKeepName = L"AdvancedKeepResource";
constexpr const wchar_t* kRelocsName = L"AdvancedRelocations";

template <std::size_t N>
const wchar_t* TextOf(const std::array<Named, N>& table, int value) {
    for (const auto& entry : table)
        if (entry.value == value) return entry.text;
    return table[0].text;
}

template <std::size_t N>
int ValueOf(const std::array<Named, N>& table, const std::wstring& text) {
    for (const auto& entry : table)
        if (text == entry.text) return entry.value;
    return table[0].value;  // missing or unknown: UPX's default
}

std::wstring Flag(bool on) { return on ? L"1" : L"0"; }
// A stored check mark: exactly "1" or "0", anything else is the default.
bool FlagOf(const std::wstring& text, bool fallback) { return text == L"1" ? true : text == L"0" ? false : fallback; }

// Nothing that a command line, or a console's command interpreter, would read as more
// than a character of the one argument.
bool IsNameCharacter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_' ||
           c == L'-' || c == L'.';
}

std::wstring CharacterProblem(wchar_t c) {
    if (c == L'"' || c == L'\'')
        return L"Quotes cannot be used: UPX would read the list differently from what is shown.";
    if (c == L' ' || c == L'\t' || c < 0x20)
        return L"Blanks cannot be used: they would split the list in two (put commas between entries).";
    if (c > 0x7E) return L"Only the letters A-Z and a-z, digits, _, - and . can be used in a type or name.";
    return std::wstring(L"'") + c +
           L"' cannot be used: types and names are made of the letters A-Z and a-z, digits, _, - and .";
}

// A type or a name: letters, digits, '_', '-' and '.'; a number is a resource number, 1 to 65535.
std::wstring PartProblem(const std::wstring& part) {
    // Inside the one argument it is harmless, but nobody should wonder whether it is a switch.
    if (part.front() == L'-') return L"'" + part + L"': a type or name cannot begin with '-'.";
    bool digits = true;
    for (const wchar_t c : part) digits = digits && c >= L'0' && c <= L'9';
    if (!digits) return {};
    unsigned long value = 0;
    for (const wchar_t c : part) {
        value = value * 10 + static_cast<unsigned long>(c - L'0');
        if (value > 65535) break;
    }
    if (value < 1 || value > 65535) return L"'" + part + L"': resource numbers run from 1 to 65535.";
    return {};
}

std::wstring EntryProblem(const std::wstring& entry) {
    if (entry.empty())
        return L"An entry is empty: commas go between entries, never first, last or twice in a row.";
    const auto slash = entry.find(L'/');
    if (slash == std::wstring::npos) return PartProblem(entry);
    if (entry.find(L'/', slash + 1) != std::wstring::npos)
        return L"'" + entry + L"' has more than one '/': write TYPE or TYPE/NAME.";
    const std::wstring type = entry.substr(0, slash), name = entry.substr(slash + 1);
    if (type.empty() || name.empty()) return L"'" + entry + L"': a '/' needs a type before it and a name after it.";
    if (auto problem = PartProblem(type); !problem.empty()) return problem;
    return PartProblem(name);
}

}  // namespace

UpxOptions KeepPartsUncompressedPreset() {
    UpxOptions preset;
    preset.compressExports = false;
    preset.compressResources = false;
    preset.relocs = UpxRelocs::Keep;
    return preset;
}

bool AtDefaults(const UpxOptions& options) { return UpxOptionSwitches(options).empty(); }

std::vector<std::wstring> UpxOptionSwitches(const UpxOptions& o) {
    std::vector<std::wstring> switches;
    if (o.method != UpxMethod::Default) switches.push_back(L"--" + std::wstring(TextOf(kMethods, static_cast<int>(o.method))));
    if (o.force) switches.push_back(L"-f");
    if (o.overlay != UpxOverlay::Copy)
        switches.push_back(L"--overlay=" + std::wstring(TextOf(kOverlays, static_cast<int>(o.overlay))));
    if (!o.compressExports) switches.push_back(L"--compress-exports=0");
    if (o.compressResources && o.compressIcons != UpxOptions::kDefaultIcons && o.compressIcons >= 0 &&
        o.compressIcons <= 3)
        switches.push_back(L"--compress-icons=" + std::to_wstring(o.compressIcons));
    if (!o.compressResources) switches.push_back(L"--compress-resources=0");
    if (o.compressResources && !o.keepResource.empty() && KeepResourceProblem(o.keepResource).empty())
        switches.push_back(L"--keep-resource=" + o.keepResource);
    if (o.relocs != UpxRelocs::Auto) switches.push_back(o.relocs == UpxRelocs::Keep ? L"--strip-relocs=0" : L"--strip-relocs=1");
    return switches;
}

std::wstring UpxOptionSwitchText(const UpxOptions& options) {
    std::wstring text;
    for (const auto& s : UpxOptionSwitches(options)) text += (text.empty() ? L"" : L" ") + s;
    return text;
}

std::wstring KeepResourceProblem(const std::wstring& list) {
    if (list.size() > kMaxKeepList)
        return L"The list is too long (more than " + std::to_wstring(kMaxKeepList) + L" characters).";
    // The characters first: a quote or a blank is the danger, whatever else is wrong.
    for (const wchar_t c : list)
        if (!IsNameCharacter(c) && c != L',' && c != L'/') return CharacterProblem(c);
    if (list.empty()) return {};
    std::size_t start = 0;
    while (true) {
        const auto comma = list.find(L',', start);
        const std::wstring entry = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (auto problem = EntryProblem(entry); !problem.empty()) return problem;
        if (comma == std::wstring::npos) return {};
        start = comma + 1;
    }
}

std::vector<StoredOption> StoredFormOf(const UpxOptions& o) {
    return {{kMethodName, TextOf(kMethods, static_cast<int>(o.method))},
            {kForceName, Flag(o.force)},
            {kOverlayName, TextOf(kOverlays, static_cast<int>(o.overlay))},
            {kExportsName, Flag(o.compressExports)},
            {kIconsName, std::to_wstring(o.compressIcons)},
            {kResourcesName, Flag(o.compressResources)},
            {kKeepName, o.keepResource},
            {kRelocsName, TextOf(kRelocs, static_cast<int>(o.relocs))}};
}

UpxOptions UpxOptionsFromStored(const std::function<std::wstring(const std::wstring& name)>& read) {
    UpxOptions o;
    o.method = static_cast<UpxMethod>(ValueOf(kMethods, read(kMethodName)));
    o.force = FlagOf(read(kForceName), o.force);
    o.overlay = static_cast<UpxOverlay>(ValueOf(kOverlays, read(kOverlayName)));
    o.compressExports = FlagOf(read(kExportsName), o.compressExports);
    const std::wstring icons = read(kIconsName);
    if (icons.size() == 1 && icons[0] >= L'0' && icons[0] <= L'3') o.compressIcons = icons[0] - L'0';
    o.compressResources = FlagOf(read(kResourcesName), o.compressResources);
    // A list stored by hand (or by an older program) that fails its check is not passed on.
    if (std::wstring keep = read(kKeepName); KeepResourceProblem(keep).empty()) o.keepResource = std::move(keep);
    o.relocs = static_cast<UpxRelocs>(ValueOf(kRelocs, read(kRelocsName)));
    return o;
}

}  // namespace zandrel
