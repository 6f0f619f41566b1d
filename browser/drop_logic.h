#pragma once
// The file list's drag-and-drop decisions, portable: whether a drop is taken,
// which effect the list proposes, where dropped files go, how shortcuts are
// named, which files take no drop, and whether a cut is still on the clipboard.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zandrel {

// Effects as the platform numbers them.
enum DropEffect : std::uint32_t { deNone = 0, deCopy = 1, deMove = 2, deLink = 4 };

// The drop is taken when the list shows a valid folder and the first name starts
// with a drive ("C:") or a network path ("\\"), at least three characters long.
bool AcceptDrop(bool dirOK, const std::vector<std::wstring>& names);
// Every dropped name is a program (.EXE or .COM, any case).
bool AllExecutables(const std::vector<std::wstring>& names);

struct EffectInput {
    bool shift = false, ctrl = false;
    std::uint32_t proposed = deCopy;  // what the source and the keys propose so far
    std::uint32_t allowed = deCopy | deMove | deLink;  // what the source allows
    bool linkExecutables = false;     // the link-executables mode is on
    wchar_t listDrive = L'C', sourceDrive = L'C';
    bool recycleBinView = false;
};
// What the keys ask for (Ctrl copy, Shift move, both link), within what the source allows.
std::uint32_t KeyEffect(bool shift, bool ctrl, std::uint32_t allowed);
// The list's own choice of effect, before its owner may change it.
std::uint32_t ProposeEffect(const EffectInput& in);
// After the owner: the list's own files onto its own folder give no effect,
// and whatever is dropped into the recycle bin (its folder or its view) goes
// there as a move: a copy into it would delete the originals all the same.
std::uint32_t FinalEffect(std::uint32_t effect, bool fromThisList, bool itemHighlighted,
                          bool intoRecycleBin = false);

// The shortcut file made for a dropped name in a target folder. `prettyName`
// is the drive table's pretty name, used for drive roots ("C:\").
std::wstring ShortcutFileName(const std::wstring& targetFolder, const std::wstring& dropped,
                              const std::wstring& prettyName);

// A new shortcut never takes the place of anything: `wanted` when no entry has that name,
// else the first free of "name (2).lnk", "name (3).lnk", ..., numbered as Windows numbers
// the copies it makes.
std::wstring FreeShortcutName(const std::wstring& wanted, const std::function<bool(const std::wstring&)>& taken);
// The shortcut would be the very file it is to point at (a shortcut dropped as a link onto
// its own folder): saving it would replace its target with a link to itself.
bool IsLinkToItself(const std::wstring& shortcutFile, const std::wstring& dropped);

// A file under the mouse whose drop handler would run it with the dropped files as its
// arguments: a program, a shortcut or a script, by its extension (any case) or one of
// the system's program extensions (`pathExt`, the PATHEXT list: ".COM;.EXE;.BAT;...").
bool RunsDroppedFiles(const std::wstring& fileName, const std::wstring& pathExt);

// Whether the clipboard still holds the list's cut. The sequence number moves whenever
// anything renders the clipboard again (clipboard managers do) while the data stays the
// cut's: then its preferred drop effect (the shell's "Preferred DropEffect") says move.
bool ClipboardHoldsCut(bool sequenceUnchanged, std::optional<std::uint32_t> preferredEffect);

// The text beside the picture of a drag of several items: "3 Files, 2 Directories";
// the files part is left out without files (German with language 7).
std::wstring DragFilesText(unsigned files, unsigned directories, int primaryLanguage);

// The right-drag menu's texts by the locale's primary language: copy, move, link, cancel.
struct DropMenuTexts {
    std::wstring copy, move, link, cancel;
};
DropMenuTexts DropMenu(int primaryLanguage);

}  // namespace zandrel
