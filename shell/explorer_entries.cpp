#include "shell/explorer_entries.h"

#include "framework/names.h"

namespace zandrel {
namespace {

const std::wstring kSystemAssociations = std::wstring(kClassesRoot) + L"\\SystemFileAssociations";
const std::wstring kExeShell = kSystemAssociations + L"\\.exe\\shell";
const std::wstring kDllShell = kSystemAssociations + L"\\.dll\\shell";
const std::wstring kFolderShell = std::wstring(kClassesRoot) + L"\\Directory\\shell";

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

void AddVerb(std::vector<RegistryEntry>& entries, const std::wstring& key, const std::wstring& caption,
             const std::wstring& exe, const std::wstring& arguments, bool manyFiles) {
    entries.push_back({key, L"", caption});
    entries.push_back({key, L"Icon", exe});
    // Explorer offers a plain verb for a selection of any size only with this model;
    // it still starts the command once per file, and the batch's collector joins them.
    // A verb for one file is offered only for one: the program takes a single file.
    entries.push_back({key, L"MultiSelectModel", manyFiles ? L"Player" : L"Single"});
    entries.push_back({VerbKey{key}.CommandKey(), L"", Quoted(exe) + L" " + arguments});
}

}  // namespace

std::vector<VerbKey> OurVerbKeys() {
    return {{kExeShell + L"\\" + kOpenVerb},     {kDllShell + L"\\" + kOpenVerb},
            {kExeShell + L"\\" + kCompressVerb}, {kDllShell + L"\\" + kCompressVerb},
            {kFolderShell + L"\\" + kCompressVerb}};
}

std::vector<RegistryEntry> ExplorerEntries(const std::wstring& exe) {
    std::vector<RegistryEntry> entries;
    const std::wstring one = Quoted(L"%1");
    AddVerb(entries, kExeShell + L"\\" + kOpenVerb, L"Open in Zandrel", exe, one, false);
    AddVerb(entries, kDllShell + L"\\" + kOpenVerb, L"Open in Zandrel", exe, one, false);
    const std::wstring batch = std::wstring(kBatchSwitch) + L" " + one;
    AddVerb(entries, kExeShell + L"\\" + kCompressVerb, L"Compress with Zandrel", exe, batch, true);
    AddVerb(entries, kDllShell + L"\\" + kCompressVerb, L"Compress with Zandrel", exe, batch, true);
    AddVerb(entries, kFolderShell + L"\\" + kCompressVerb, L"Compress with Zandrel", exe, batch, true);
    return entries;
}

std::vector<std::wstring> ParentKeysOfOurVerbs() {
    return {kExeShell, kSystemAssociations + L"\\.exe", kDllShell, kSystemAssociations + L"\\.dll",
            kSystemAssociations, kFolderShell, std::wstring(kClassesRoot) + L"\\Directory"};
}

std::wstring ProgramOfCommand(const std::wstring& commandLine) {
    std::size_t start = commandLine.find_first_not_of(L" \t");
    if (start == std::wstring::npos) return {};
    if (commandLine[start] == L'"') {
        const std::size_t end = commandLine.find(L'"', start + 1);
        if (end == std::wstring::npos) return commandLine.substr(start + 1);
        return commandLine.substr(start + 1, end - start - 1);
    }
    const std::size_t end = commandLine.find_first_of(L" \t", start);
    return commandLine.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

bool StartsAZandrel(const std::wstring& program) {
    return !program.empty() && SameName(FileNamePart(program), L"zandrel.exe");
}

}  // namespace zandrel
