#pragma once
// Program-wide values set at start-up and kept for the life of the process.
#include <string>

namespace zandrel {

struct SettingNames {
    std::wstring upxPath, upxDir, sourceDir, targetDir, level, backup, dosBox, q, qq, qqq, top, left;
};

inline std::wstring ExeDir;           // the program's folder, with a trailing separator
inline std::wstring SettingsKey;      // below HKEY_CURRENT_USER
inline std::wstring FavoritesSubKey;  // appended to SettingsKey as it is
inline std::wstring WorkingCopiesSubKey;  // appended to SettingsKey: jobs' working copies while they exist
inline SettingNames Names;
inline bool TestFlag = false;  // set only while Test presses Start
inline bool ListFlag = false;  // set only while List presses Start
inline constexpr int MaxFavorites = 3;

}  // namespace zandrel
