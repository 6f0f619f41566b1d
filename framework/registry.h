#pragma once
// A registry key opened with full access (or for reading only); string values only.
// Read and write failures raise RegistryError with the texts the standard report shows.
#include <optional>
#include <string>
#include <vector>

#include "framework/win.h"

namespace zandrel {

class RegistryKey {
public:
    // Opens root\path, creating it (and any missing keys above) when `create`.
    // Gives nothing when the key cannot be opened or made.
    static std::optional<RegistryKey> Open(HKEY root, const std::wstring& path, bool create);
    // Opens root\path for reading only: a key its owner made read-only still reads.
    static std::optional<RegistryKey> OpenToRead(HKEY root, const std::wstring& path);
    // Removes the key with everything below it; false when it could not.
    static bool DeleteKey(HKEY root, const std::wstring& path);

    RegistryKey(RegistryKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    RegistryKey& operator=(RegistryKey&&) = delete;
    RegistryKey(const RegistryKey&) = delete;
    ~RegistryKey();

    // The text up to its first zero; nothing when the value is absent or empty.
    // "Invalid data type for '%s'" for a value that is not a string,
    // "Failed to get data for '%s'" when its data cannot be fetched.
    std::optional<std::wstring> ReadString(const std::wstring& name) const;
    // "Failed to set data for '%s'" when it cannot be written.
    void WriteString(const std::wstring& name, const std::wstring& value) const;
    // The names of the key's values; false from DeleteValue when there was none to remove.
    std::vector<std::wstring> ValueNames() const;
    bool DeleteValue(const std::wstring& name) const;
    // No values (a default value counts) and no sub-keys.
    bool Empty() const;

private:
    explicit RegistryKey(HKEY key) : key_(key) {}
    HKEY key_ = nullptr;
};

}  // namespace zandrel
