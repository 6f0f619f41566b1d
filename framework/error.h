#pragma once
// The program's exception type: carries the text the standard error report shows.
// Portable (no <windows.h>), so the logic layer can raise it too.
#include <exception>
#include <string>

namespace zandrel {

class Error : public std::exception {
public:
    explicit Error(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return "zandrel::Error"; }

private:
    std::wstring message_;
};

// A stored number that is not a number.
class ConvertError : public Error {
public:
    using Error::Error;
};

// A settings value that cannot be read or written.
class RegistryError : public Error {
public:
    using Error::Error;
};

// Replaces the first "%s" of a message pattern.
inline std::wstring FormatMessageText(std::wstring pattern, const std::wstring& arg) {
    const auto at = pattern.find(L"%s");
    if (at != std::wstring::npos) pattern.replace(at, 2, arg);
    return pattern;
}

}  // namespace zandrel
