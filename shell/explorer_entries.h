#pragma once
// Explorer's menus for Zandrel as data: the registry entries and the Send To
// shortcut for a given program path, and how to tell ours from a foreign entry.
// Portable (no <windows.h>): shell/ExplorerEntries.* writes and removes them.
#include <string>
#include <vector>

namespace zandrel {

// One value of one key below HKEY_CURRENT_USER. Every value is a string (REG_SZ);
// an empty name is the key's default value.
struct RegistryEntry {
    std::wstring key;
    std::wstring name;
    std::wstring data;
    bool operator==(const RegistryEntry&) const = default;
};

// A verb key of ours: the key that holds the verb, and its command sub-key.
struct VerbKey {
    std::wstring key;  // ...\shell\ZandrelOpen
    std::wstring CommandKey() const { return key + L"\\command"; }
};

inline constexpr const wchar_t* kClassesRoot = L"Software\\Classes";
inline constexpr const wchar_t* kOpenVerb = L"ZandrelOpen";
inline constexpr const wchar_t* kCompressVerb = L"ZandrelCompress";
inline constexpr const wchar_t* kSendToName = L"Zandrel.lnk";
inline constexpr const wchar_t* kBatchSwitch = L"/batch";

// Every verb key of ours, in the order they are written.
std::vector<VerbKey> OurVerbKeys();
// Every value the verbs need for the program at `exe` (a full path), in writing order.
std::vector<RegistryEntry> ExplorerEntries(const std::wstring& exe);
// The keys above our verbs that only exist for them (the "shell" keys and their
// parents below Software\Classes), deepest first: removed when left empty.
std::vector<std::wstring> ParentKeysOfOurVerbs();

// The program a verb's command line starts: the quoted first part, or up to the first blank.
std::wstring ProgramOfCommand(const std::wstring& commandLine);
// A command or shortcut that starts a Zandrel (a program file named zandrel.exe, case aside),
// wherever it lives: only such entries are ours to remove.
bool StartsAZandrel(const std::wstring& program);

}  // namespace zandrel
