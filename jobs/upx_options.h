#pragma once
// UPX's further options for Windows programs (method, force, overlay, the PE
// options), as a value, the switches they add to a compress, the check of a
// --keep-resource list, and their stored form. All at their defaults they add
// nothing, so the command lines stay as the form alone makes them.
#include <functional>
#include <string>
#include <vector>

namespace zandrel {

enum class UpxMethod { Default, Lzma, Brute, UltraBrute };
enum class UpxOverlay { Copy, Strip, Skip };
// UPX's own choice strips a program's relocations and keeps a library's.
enum class UpxRelocs { Auto, Keep, Strip };

struct UpxOptions {
    static constexpr int kDefaultIcons = 2;  // all but the first icon directory
    UpxMethod method = UpxMethod::Default;
    bool force = false;                    // -f: pack files UPX finds suspicious
    UpxOverlay overlay = UpxOverlay::Copy;
    bool compressExports = true;           // false: --compress-exports=0
    int compressIcons = kDefaultIcons;     // 0..3: --compress-icons=N
    bool compressResources = true;         // false: --compress-resources=0
    std::wstring keepResource;             // --keep-resource=LIST; empty: none
    UpxRelocs relocs = UpxRelocs::Auto;    // --strip-relocs=0 (Keep) or =1 (Strip)
    bool operator==(const UpxOptions&) const = default;
};

// Resources, exports and relocations left uncompressed; everything else at UPX's default.
UpxOptions KeepPartsUncompressedPreset();
// The switches add nothing: every option is at UPX's default (a refused keep list counts as none).
bool AtDefaults(const UpxOptions& options);

// The switches, one argument each, in a fixed order: method, -f, overlay, exports,
// icons, resources, keep list, relocations. Icons and the keep list are left out
// while resources are not compressed (UPX treats them only then); a keep list that
// fails its check is never passed on.
std::vector<std::wstring> UpxOptionSwitches(const UpxOptions& options);
// The same, joined by blanks; empty when there are none.
std::wstring UpxOptionSwitchText(const UpxOptions& options);

// Why UPX could not be given this --keep-resource list, in words for the user;
// empty when it is sound (an empty list is: it means none). The syntax: entries
// separated by commas, each a type or TYPE/NAME, types and names made of letters,
// digits, '_', '-' and '.' (a number from 1 to 65535).
std::wstring KeepResourceProblem(const std::wstring& list);

// The stored form: one text value per option, under names of their own.
struct StoredOption {
    std::wstring name, text;
};
std::vector<StoredOption> StoredFormOf(const UpxOptions& options);
// Options from stored values (`read` gives empty text for a missing one); a missing
// or unknown value, and a keep list that fails its check, give UPX's default.
UpxOptions UpxOptionsFromStored(const std::function<std::wstring(const std::wstring& name)>& read);

}  // namespace zandrel
