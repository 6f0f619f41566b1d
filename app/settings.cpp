#include "app/settings.h"

#include "framework/registry.h"

namespace zandrel {

std::wstring ReadIniFromReg(const std::wstring& key, const std::wstring& name) {
    const auto opened = RegistryKey::OpenToRead(HKEY_CURRENT_USER, key);
    if (!opened) return {};
    return opened->ReadString(name).value_or(std::wstring());
}

void WriteIniToReg(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    const auto opened = RegistryKey::Open(HKEY_CURRENT_USER, key, true);
    if (opened) opened->WriteString(name, text);
}

}  // namespace zandrel
