#include "framework/registry.h"

#include "framework/error.h"

namespace zandrel {

std::optional<RegistryKey> RegistryKey::Open(HKEY root, const std::wstring& path, bool create) {
    HKEY key = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr)
               : RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return RegistryKey(key);
}

std::optional<RegistryKey> RegistryKey::OpenToRead(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    return RegistryKey(key);
}

bool RegistryKey::DeleteKey(HKEY root, const std::wstring& path) {
    if (RegDeleteTreeW(root, path.c_str()) != ERROR_SUCCESS) return false;
    RegDeleteKeyW(root, path.c_str());  // where the tree call left the key itself
    return true;
}

RegistryKey::~RegistryKey() {
    if (key_) RegCloseKey(key_);
}

std::optional<std::wstring> RegistryKey::ReadString(const std::wstring& name) const {
    DWORD type = 0, size = 0;
    LSTATUS status = RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status != ERROR_SUCCESS) throw RegistryError(FormatMessageText(L"Failed to get data for '%s'", name));
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw RegistryError(FormatMessageText(L"Invalid data type for '%s'", name));
    if (size == 0) return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got);
    if (status != ERROR_SUCCESS) throw RegistryError(FormatMessageText(L"Failed to get data for '%s'", name));
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (text.empty()) return std::nullopt;
    return text;
}

void RegistryKey::WriteString(const std::wstring& name, const std::wstring& value) const {
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) !=
        ERROR_SUCCESS)
        throw RegistryError(FormatMessageText(L"Failed to set data for '%s'", name));
}

std::vector<std::wstring> RegistryKey::ValueNames() const {
    std::vector<std::wstring> names;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::wstring name(longest + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = longest + 1;
        if (RegEnumValueW(key_, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

bool RegistryKey::DeleteValue(const std::wstring& name) const {
    return RegDeleteValueW(key_, name.c_str()) == ERROR_SUCCESS;
}

bool RegistryKey::Empty() const {
    DWORD subKeys = 0, values = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subKeys == 0 && values == 0;
}

}  // namespace zandrel
