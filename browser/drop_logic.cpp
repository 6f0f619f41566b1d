#include "browser/drop_logic.h"

#include "framework/names.h"

namespace zandrel {
namespace {

bool EndsWithNoCase(const std::wstring& s, const wchar_t* tail) {
    const std::wstring t(tail);
    if (s.size() < t.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (FoldedLetter(s[s.size() - t.size() + i]) != t[i]) return false;
    return true;
}

}  // namespace

bool AcceptDrop(bool dirOK, const std::vector<std::wstring>& names) {
    if (!dirOK || names.empty()) return false;
    const auto& first = names.front();
    return first.size() >= 3 && (first[1] == L':' || first[1] == L'\\');
}

bool AllExecutables(const std::vector<std::wstring>& names) {
    if (names.empty()) return false;
    for (const auto& n : names)
        if (!EndsWithNoCase(n, L".EXE") && !EndsWithNoCase(n, L".COM")) return false;
    return true;
}

std::uint32_t KeyEffect(bool shift, bool ctrl, std::uint32_t allowed) {
    std::uint32_t effect = ctrl && shift ? deLink : shift ? deMove : deCopy;
    if (!(allowed & effect)) effect = (allowed & deCopy) ? deCopy : (allowed & deMove) ? deMove : (allowed & deLink);
    return effect;
}

std::uint32_t ProposeEffect(const EffectInput& in) {
    if (in.shift || in.ctrl) return in.proposed;  // the keys and the source decide
    if (in.linkExecutables && (in.allowed & deLink) && FoldedLetter(in.listDrive) > L'B' && FoldedLetter(in.sourceDrive) > L'B')
        return deLink;
    // Within one drive files move (and the list's own files onto its own folder then do nothing,
    // see FinalEffect); from another drive they are copied.
    if (((in.allowed & deMove) && FoldedLetter(in.listDrive) == FoldedLetter(in.sourceDrive)) || in.recycleBinView) return deMove;
    return in.proposed;
}

std::uint32_t FinalEffect(std::uint32_t effect, bool fromThisList, bool itemHighlighted, bool intoRecycleBin) {
    if (effect == deMove && fromThisList && !itemHighlighted) return deNone;
    if (intoRecycleBin && effect != deNone) return deMove;
    return effect;
}

std::wstring ShortcutFileName(const std::wstring& targetFolder, const std::wstring& dropped,
                              const std::wstring& prettyName) {
    std::wstring name;
    if (dropped.size() == 3 && dropped[1] == L':') {
        // A drive root: its pretty name without "C: " and the letter in parentheses.
        name = (prettyName.size() > 3 ? prettyName.substr(3) : std::wstring()) + L"(" + dropped.substr(0, 1) + L")";
    } else {
        name = dropped.substr(dropped.find_last_of(L"\\/") + 1);
    }
    const auto dot = name.rfind(L'.');
    if (dot != std::wstring::npos && !(dropped.size() == 3 && dropped[1] == L':'))
        name = name.substr(0, dot);
    return JoinPath(targetFolder, name + L".lnk");
}

std::wstring FreeShortcutName(const std::wstring& wanted, const std::function<bool(const std::wstring&)>& taken) {
    if (!taken(wanted)) return wanted;
    const auto dot = wanted.rfind(L'.');
    const auto slash = wanted.find_last_of(L"\\/");
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    const std::wstring stem = hasExtension ? wanted.substr(0, dot) : wanted;
    const std::wstring extension = hasExtension ? wanted.substr(dot) : std::wstring();
    for (unsigned n = 2;; ++n) {
        std::wstring name = stem + L" (" + std::to_wstring(n) + L")" + extension;
        if (!taken(name)) return name;
    }
}

bool IsLinkToItself(const std::wstring& shortcutFile, const std::wstring& dropped) {
    auto trimmed = [](std::wstring s) {
        while (s.size() > 3 && (s.back() == L'\\' || s.back() == L'/')) s.pop_back();
        return s;
    };
    const std::wstring a = trimmed(shortcutFile), b = trimmed(dropped);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const wchar_t x = a[i] == L'/' ? L'\\' : FoldedLetter(a[i]), y = b[i] == L'/' ? L'\\' : FoldedLetter(b[i]);
        if (x != y) return false;
    }
    return true;
}

bool RunsDroppedFiles(const std::wstring& fileName, const std::wstring& pathExt) {
    const auto dot = fileName.rfind(L'.');
    if (dot == std::wstring::npos || fileName.find_first_of(L"\\/", dot) != std::wstring::npos) return false;
    std::wstring extension;
    for (std::size_t i = dot; i < fileName.size(); ++i) extension += FoldedLetter(fileName[i]);
    // Programs, shortcuts and scripts that Windows runs (or hands to an interpreter) when
    // files are dropped on them.
    static const wchar_t* const kRunners[] = {
        L".EXE", L".COM", L".SCR", L".PIF", L".CPL", L".MSI", L".MSP", L".MSC", L".APPREF-MS",
        L".LNK", L".URL", L".BAT", L".CMD", L".VBS", L".VBE", L".JS",  L".JSE", L".WSF",
        L".WSH", L".PS1", L".HTA", L".JAR", L".PY",  L".PYW", L".PL",  L".RB"};
    for (const auto* runner : kRunners)
        if (extension == runner) return true;
    std::wstring listed;
    for (std::size_t i = 0; i <= pathExt.size(); ++i) {
        if (i == pathExt.size() || pathExt[i] == L';') {
            if (!listed.empty() && listed == extension) return true;
            listed.clear();
        } else if (pathExt[i] != L' ') {
            listed += FoldedLetter(pathExt[i]);
        }
    }
    return false;
}

bool ClipboardHoldsCut(bool sequenceUnchanged, std::optional<std::uint32_t> preferredEffect) {
    if (sequenceUnchanged) return true;
    return preferredEffect && (*preferredEffect & deMove) && !(*preferredEffect & deCopy);
}

std::wstring DragFilesText(unsigned files, unsigned directories, int primaryLanguage) {
    const bool german = primaryLanguage == 7;
    std::wstring text;
    if (files > 0) text = std::to_wstring(files) + (german ? L" Dateien" : L" Files");
    if (directories > 0) {
        if (!text.empty()) text += L", ";
        text += std::to_wstring(directories) + (german ? L" Verzeichnisse" : L" Directories");
    }
    return text;
}

DropMenuTexts DropMenu(int primaryLanguage) {
    switch (primaryLanguage) {
        case 7: return {L"Hierher &kopieren", L"Hierher &verschieben", L"Verkn\u00fcpfung(en) hier &erstellen", L"&Abbrechen"};
        case 10: return {L"&Copie aqu\u00ed", L"&Mu\u00e9vase aqu\u00ed", L"&Atajo(s) crea aqu\u00ed ", L"&Aborto"};
        case 12: return {L"&Copier ici", L"&Transf\u00e9rer ici", L"&Cr\u00e9er un ou des raccourci(s) ici", L"&Arr\u00eat"};
        case 16: return {L"&Copiare qui", L"&Muoversi qui", L"&Scorciatoia(e) crea qui", L"&Terminazione"};
        case 21: return {L"&Kopiuj tutaj", L"&Przenie\u015b tutaj", L"Utw\u00f3rz &skr\u00f3t(y) tutaj", L"&Anuluj"};
        case 22: return {L"&Cop\u00ede aqui", L"&Mova aqui", L"&Atalho(s) cr\u00eda aqui", L"&Aborto"};
        default: return {L"&Copy Here", L"&Move Here", L"&Shortcut(s) Create Here", L"&Abort"};
    }
}

}  // namespace zandrel
