#include "shell/ExplorerEntries.h"

#include <set>
#include <vector>

#include "framework/win.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "framework/error.h"
#include "framework/files.h"
#include "framework/names.h"
#include "framework/registry.h"
#include "shell/explorer_entries.h"

namespace zandrel {
namespace {

// A COM interface released when it goes.
template <typename T>
struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    void** Out() { return reinterpret_cast<void**>(&p); }
};

// COM for the calls made here, whether or not the thread has it already.
struct ComScope {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComScope() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

std::optional<std::wstring> ReadValue(const std::wstring& key, const std::wstring& name) {
    const auto opened = RegistryKey::OpenToRead(HKEY_CURRENT_USER, key);
    if (!opened) return std::nullopt;
    try {
        return opened->ReadString(name);
    } catch (const std::exception&) {
        return std::nullopt;  // not a string: not as we write it
    }
}

bool KeyExists(const std::wstring& key) { return RegistryKey::OpenToRead(HKEY_CURRENT_USER, key).has_value(); }

// A verb key is ours to remove only when its command starts a Zandrel.
bool VerbIsOurs(const VerbKey& verb) {
    const auto command = ReadValue(verb.CommandKey(), L"");
    return command && StartsAZandrel(ProgramOfCommand(*command));
}

// A verb of our name whose command starts another program (or is no text, not as we write
// it) is that program's, or the user's: never replaced, as a Send To shortcut of ours isn't.
// A key without a command is a half-made one of ours and may go. Says what the other
// command is; nothing when the verb may be replaced.
std::optional<std::wstring> ForeignVerb(const VerbKey& verb) {
    const auto key = RegistryKey::OpenToRead(HKEY_CURRENT_USER, verb.CommandKey());
    if (!key) return std::nullopt;
    std::optional<std::wstring> command;
    try {
        command = key->ReadString(L"");
    } catch (const std::exception&) {
        return L"whose command is not text";
    }
    if (!command) return std::nullopt;
    const std::wstring program = ProgramOfCommand(*command);
    if (StartsAZandrel(program)) return std::nullopt;
    return L"that starts " + (program.empty() ? *command : program);
}

ShellOutcome RefuseForeignVerbs() {
    for (const auto& verb : OurVerbKeys())
        if (const auto foreign = ForeignVerb(verb))
            return {false, L"HKEY_CURRENT_USER\\" + verb.key + L" already holds an entry " + *foreign +
                               L"; it was left as it is."};
    return {};
}

ShellOutcome WriteVerbs(const std::wstring& exe) {
    for (const auto& verb : OurVerbKeys())
        if (KeyExists(verb.key) && !RegistryKey::DeleteKey(HKEY_CURRENT_USER, verb.key))
            return {false, L"The old entry HKEY_CURRENT_USER\\" + verb.key + L" could not be replaced."};
    for (const auto& entry : ExplorerEntries(exe)) {
        const auto key = RegistryKey::Open(HKEY_CURRENT_USER, entry.key, true);
        if (!key) return {false, L"The key HKEY_CURRENT_USER\\" + entry.key + L" could not be made."};
        try {
            key->WriteString(entry.name, entry.data);
        } catch (const std::exception&) {
            return {false, L"A value of HKEY_CURRENT_USER\\" + entry.key + L" could not be written."};
        }
    }
    return {};
}

ShellOutcome WriteSendToShortcut(const std::wstring& exe) {
    const std::wstring path = SendToShortcutPath();
    if (path.empty()) return {false, L"The Send To folder could not be found."};
    // A shortcut of that name to another program is the user's: never replaced.
    if (const auto existing = ReadShortcut(path); existing && !StartsAZandrel(existing->target))
        return {false, L"Send To already holds a shortcut named " + FileNamePart(path) + L" that starts " +
                           existing->target + L"; it was left as it is."};
    ComScope com;
    Com<IShellLinkW> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out());
    Com<IPersistFile> file;
    if (SUCCEEDED(hr)) hr = link->SetPath(exe.c_str());
    if (SUCCEEDED(hr)) hr = link->SetArguments(kBatchSwitch);
    if (SUCCEEDED(hr)) hr = link->SetIconLocation(exe.c_str(), 0);
    if (SUCCEEDED(hr)) hr = link->SetDescription(L"Compress with Zandrel");
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, file.Out());
    if (SUCCEEDED(hr)) hr = file->Save(path.c_str(), TRUE);
    if (FAILED(hr)) return {false, L"The shortcut " + path + L" could not be made: " + SystemErrorText(static_cast<DWORD>(hr)) + L"."};
    return {};
}

// Keys above our verbs that nothing holds any more; they exist only for the verbs.
void RemoveEmptyParents() {
    for (const auto& parent : ParentKeysOfOurVerbs()) {
        const auto key = RegistryKey::Open(HKEY_CURRENT_USER, parent, false);
        if (key && key->Empty()) RegDeleteKeyW(HKEY_CURRENT_USER, parent.c_str());
    }
}

void TellExplorer() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

}  // namespace

std::wstring SendToShortcutPath() {
    PWSTR folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_SendTo, KF_FLAG_CREATE, nullptr, &folder)) && folder)
        path = JoinPath(folder, kSendToName);
    CoTaskMemFree(folder);
    return path;
}

std::optional<ShortcutFacts> ReadShortcut(const std::wstring& path) {
    ComScope com;
    Com<IShellLinkW> link;
    Com<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Out())) || FAILED(file->Load(path.c_str(), STGM_READ)))
        return std::nullopt;
    std::vector<wchar_t> target(32768), arguments(32768);
    // The raw path: the link as written, not resolved to wherever a moved file went.
    if (FAILED(link->GetPath(target.data(), static_cast<int>(target.size()), nullptr, SLGP_RAWPATH)) ||
        FAILED(link->GetArguments(arguments.data(), static_cast<int>(arguments.size()))))
        return std::nullopt;
    return ShortcutFacts{target.data(), arguments.data()};
}

ShellOutcome AddExplorerEntries(const std::wstring& exe) {
    // The shell reads %1, %L, %*... anywhere in a verb's command, the program's path too:
    // such a verb would start nothing.
    if (exe.find(L'%') != std::wstring::npos)
        return {false, L"Explorer would read the % in " + exe +
                           L" as a placeholder of its own and could not start Zandrel from there. Move Zandrel "
                           L"to a folder whose path holds no %."};
    // Looked at before anything is changed: nothing was written, so nothing is taken back.
    if (ShellOutcome refused = RefuseForeignVerbs(); !refused.done) return refused;
    // The shortcut first: a file in use or a folder of its name fails it, and then the verbs
    // that were there (another Zandrel's, working) are still as they were.
    ShellOutcome outcome = WriteSendToShortcut(exe);
    if (!outcome.done) return outcome;
    outcome = WriteVerbs(exe);
    if (!outcome.done) {
        // Nothing half made stays: every verb written here starts this Zandrel, so it is ours.
        RemoveExplorerEntries();
    }
    TellExplorer();
    return outcome;
}

ShellOutcome RemoveExplorerEntries() {
    ShellOutcome outcome;
    for (const auto& verb : OurVerbKeys()) {
        if (!VerbIsOurs(verb)) continue;
        if (!RegistryKey::DeleteKey(HKEY_CURRENT_USER, verb.key) && outcome.done)
            outcome = {false, L"The entry HKEY_CURRENT_USER\\" + verb.key + L" could not be removed."};
    }
    RemoveEmptyParents();
    const std::wstring shortcut = SendToShortcutPath();
    if (!shortcut.empty() && IsExistingFile(shortcut)) {
        const auto facts = ReadShortcut(shortcut);
        if (facts && StartsAZandrel(facts->target) && !DeleteFileW(ApiPath(shortcut).c_str()) && outcome.done)
            outcome = {false, L"The shortcut " + shortcut + L" could not be removed: " + SystemErrorText(GetLastError()) +
                                  L"."};
    }
    TellExplorer();
    return outcome;
}

EntriesState ExplorerEntriesState(const std::wstring& exe) {
    bool all = true, any = false;
    for (const auto& verb : OurVerbKeys()) any = any || VerbIsOurs(verb);
    for (const auto& entry : ExplorerEntries(exe)) all = all && ReadValue(entry.key, entry.name) == entry.data;
    const std::wstring shortcut = SendToShortcutPath();
    const auto facts = shortcut.empty() || !IsExistingFile(shortcut) ? std::nullopt : ReadShortcut(shortcut);
    if (facts && StartsAZandrel(facts->target)) any = true;
    all = all && facts && SameName(facts->target, exe) && facts->arguments == kBatchSwitch;
    if (all) return EntriesState::Ours;
    return any ? EntriesState::Partly : EntriesState::None;
}

}  // namespace zandrel
