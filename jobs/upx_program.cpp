#include "jobs/upx_program.h"

#include <cctype>


namespace zandrel {
namespace {

std::uint32_t Little(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

bool Digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

unsigned ProgramSubsystem(const std::function<std::string(std::uint64_t offset, std::size_t count)>& read) {
    const std::string dos = read(0, 64);
    if (dos.size() < 64 || dos[0] != 'M' || dos[1] != 'Z') return 0;
    const std::uint64_t header = Little(dos, 0x3C, 4);
    // The signature, the file header, and the optional header up to its subsystem
    // (at 68 in both the 32-bit and the 64-bit form).
    const std::string pe = read(header, 24 + 70);
    if (pe.size() < 24 + 70 || pe.compare(0, 4, std::string("PE\0\0", 4)) != 0) return 0;
    const std::uint32_t magic = Little(pe, 24, 2);
    if (magic != 0x10B && magic != 0x20B) return 0;
    return Little(pe, 24 + 68, 2);
}

std::string UpxVersionIn(const std::vector<std::string>& lines) {
    if (lines.empty() || lines[0].rfind("upx ", 0) != 0) return {};
    const std::string& line = lines[0];
    // Numbers and dots: at least "N.N".
    std::size_t end = 4, dots = 0;
    while (end < line.size() && (Digit(line[end]) || (line[end] == '.' && end > 4 && Digit(line[end - 1])))) {
        dots += line[end] == '.';
        ++end;
    }
    if (dots == 0 || !Digit(line[end - 1])) return {};
    return line.substr(4, end - 4);
}

std::wstring UpxReason(const std::vector<std::wstring>& outputLines) {
    for (auto line = outputLines.rbegin(); line != outputLines.rend(); ++line) {
        if (line->rfind(L"upx: ", 0) != 0) continue;
        // "upx: NAME: Exception: message": the name may hold ": " itself, so the reason
        // starts at the word that names the exception, when there is one.
        const std::wstring rest = line->substr(5);
        for (std::size_t at = rest.find(L": "); at != std::wstring::npos; at = rest.find(L": ", at + 2)) {
            const std::size_t start = at + 2;
            const std::size_t end = rest.find_first_of(L": ", start);
            const std::wstring word = rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            if (word.size() > 9 && word.compare(word.size() - 9, 9, L"Exception") == 0) return rest.substr(start);
        }
        const std::size_t first = rest.find(L": ");
        return first == std::wstring::npos ? rest : rest.substr(first + 2);
    }
    return {};
}

std::wstring UpxProblemText(UpxVerdict verdict, const std::wstring& program, const std::wstring& firstLine) {
    const std::wstring is = program + L" is not UPX: ";
    switch (verdict) {
        case UpxVerdict::Upx: return {};
        case UpxVerdict::Missing: return L"The UPX program " + program + L" was not found.";
        case UpxVerdict::NotAProgram: return is + L"it is not a program. Choose upx.exe instead.";
        case UpxVerdict::Windowed: return is + L"it is a program with windows, and UPX is a console program. Choose upx.exe instead.";
        case UpxVerdict::NoAnswer:
            return program + L" did not tell its version within 5 seconds, as UPX does at once. If it is UPX, try "
                             L"again; otherwise choose upx.exe.";
        case UpxVerdict::OtherAnswer:
            return is + (firstLine.empty() ? std::wstring(L"it gave no version")
                                           : L"asked for its version, it answered \"" + firstLine + L"\"") +
                   L". Choose upx.exe instead.";
    }
    return {};
}

}  // namespace zandrel
