#include "app/command_line.h"

#include "framework/names.h"

namespace zandrel {

StartRequest ReadCommandLine(const std::vector<std::wstring>& arguments) {
    if (arguments.empty()) return {};
    const std::wstring& first = arguments[0];
    const std::vector<std::wstring> rest(arguments.begin() + 1, arguments.end());
    if (SameName(first, L"/batch")) {
        if (rest.empty()) return {};
        return {StartKind::Batch, rest};
    }
    if (SameName(first, L"/register-shell"))
        return {rest.empty() ? StartKind::RegisterShell : StartKind::Refused, {}};
    if (SameName(first, L"/unregister-shell"))
        return {rest.empty() ? StartKind::UnregisterShell : StartKind::Refused, {}};
    if (arguments.size() > 1) return {StartKind::End, {}};
    return {StartKind::OpenFile, {first}};
}

}  // namespace zandrel
