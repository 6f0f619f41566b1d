// A stand-in for upx.exe in tests: it keeps UPX's command-line contract
// (switches, exit codes 0/1/2, errors on standard error) and really
// transforms the file, so a compress/decompress round trip can be checked.
//
// Like the real UPX for Windows it is an ANSI program: it takes its arguments
// through the ANSI code page (a name that code page cannot spell arrives
// best-fit mapped or as '?', and is then not found), opens files with the
// narrow file functions (so paths past MAX_PATH fail), prints names as ANSI
// bytes through the C runtime's standard streams, and does a job in place by
// writing a temporary file, removing the original and renaming the temporary
// file to the name it was given.
//
// Test switches from the environment:
//   STANDIN_LOG=path       append the received command line (one line, UTF-8)
//   STANDIN_SLEEP_MS=n     sleep before doing anything
//   STANDIN_EXIT=n         end with this exit code after the work
//   STANDIN_FLOOD=n        print n numbered lines ("line 000001 ...")
//   STANDIN_NUL=1          print a line with NUL bytes inside
//   STANDIN_LONE_CR=1      print a progress line redrawn with lone CRs
//   STANDIN_SPLIT=1        print one line in two writes, 200 ms apart
//   STANDIN_NO_NEWLINE=1   end the output with a line without a break
//   STANDIN_TICKS=n        print n lines 150 ms apart, each "tick I T" with T the
//                          precise system time (100 ns units) it was written at
//   STANDIN_FAIL_TEST=1    a test (-t) of a packed file finds it damaged (exit 1)
//   STANDIN_FAIL_WRITE=1   fail every job that writes a file, after creating
//                          (any other text: only files whose name holds it)
//                          (and removing) its temporary file
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kMagic[8] = {'Z', 'S', 'T', 'N', 'D', 'P', 'K', 0x1A};

// Through the C runtime, as UPX does: its standard streams are the ones the
// runtime takes at start-up, which is where a parent's start-up record matters.
void Write(FILE* stream, const std::string& s) {
    if (!s.empty()) std::fwrite(s.data(), 1, s.size(), stream);
    std::fflush(stream);
}
void Out(const std::string& s) { Write(stdout, s); }
void Err(const std::string& s) { Write(stderr, s); }

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string Env(const char* name) {
    char buffer[4096];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadAll(const std::string& path, std::vector<std::uint8_t>& data) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(f, &size);
    data.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    const bool ok = data.empty() || (ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &got, nullptr) &&
                                     got == data.size());
    CloseHandle(f);
    return ok;
}

std::string currentName;  // the file the job is on, as given

bool WriteNew(const std::string& path, const std::vector<std::uint8_t>& data) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = data.empty() || (WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &put, nullptr) &&
                               put == data.size());
    CloseHandle(f);
    const std::string fail = Env("STANDIN_FAIL_WRITE");
    if (ok && !fail.empty() && (fail == "1" || currentName.find(fail) != std::string::npos)) ok = false;
    if (!ok) DeleteFileA(path.c_str());
    return ok;
}

// The way UPX writes a file in place: a temporary file beside it, then the
// original removed and the temporary file renamed to the name it was given.
bool ReplaceInPlace(const std::string& path, const std::vector<std::uint8_t>& data) {
    const auto sep = path.find_last_of("\\/:");
    const std::string folder = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
    std::string tempPath;
    for (unsigned n = 0; tempPath.empty() || Exists(tempPath); ++n) {
        if (n == 100) return false;
        char temp[64];
        wsprintfA(temp, "upx%05lu%02u.tmp", GetCurrentProcessId() % 100000, n);
        tempPath = folder + temp;
    }
    if (!WriteNew(tempPath, data)) return false;
    if (!DeleteFileA(path.c_str())) {
        DeleteFileA(tempPath.c_str());
        return false;
    }
    return MoveFileA(tempPath.c_str(), path.c_str()) != FALSE;
}

bool IsPacked(const std::vector<std::uint8_t>& d) {
    return d.size() >= sizeof kMagic + 1 && std::equal(kMagic, kMagic + sizeof kMagic, d.begin());
}

// The "packing": a level byte after the magic, then every byte mixed with a
// position-dependent key. Reversible, and never the identity.
std::uint8_t Key(std::size_t i, std::uint8_t level) { return static_cast<std::uint8_t>((i * 31 + 7) ^ (level * 17)); }

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& plain, std::uint8_t level) {
    std::vector<std::uint8_t> out(kMagic, kMagic + sizeof kMagic);
    out.push_back(level);
    for (std::size_t i = 0; i < plain.size(); ++i) out.push_back(plain[i] ^ Key(i, level));
    return out;
}

std::vector<std::uint8_t> Unpack(const std::vector<std::uint8_t>& packed) {
    const std::uint8_t level = packed[sizeof kMagic];
    std::vector<std::uint8_t> out;
    for (std::size_t i = sizeof kMagic + 1; i < packed.size(); ++i)
        out.push_back(packed[i] ^ Key(i - sizeof kMagic - 1, level));
    return out;
}

void TestOutput() {
    if (const auto n = Env("STANDIN_FLOOD"); !n.empty()) {
        const long count = std::strtol(n.c_str(), nullptr, 10);
        std::string chunk;
        for (long i = 1; i <= count; ++i) {
            char line[64];
            wsprintfA(line, "line %06ld of the stand-in flood output.......\r\n", i);
            chunk += line;
            if (chunk.size() > 16384) Out(chunk), chunk.clear();
        }
        Out(chunk);
    }
    if (const auto n = Env("STANDIN_TICKS"); !n.empty()) {
        const long count = std::strtol(n.c_str(), nullptr, 10);
        for (long i = 1; i <= count; ++i) {
            Sleep(150);
            FILETIME now;
            GetSystemTimePreciseAsFileTime(&now);
            char line[80];
            wsprintfA(line, "tick %ld %I64u\r\n", i,
                      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
            Out(line);
        }
    }
    if (Env("STANDIN_NUL") == "1") Out(std::string("nul\0inside\0line\r\n", 18));
    if (Env("STANDIN_LONE_CR") == "1") Out("progress 10%\rprogress 50%\rprogress 100%\r\n");
    if (Env("STANDIN_SPLIT") == "1") {
        Out("first half, ");
        Sleep(200);
        Out("second half\r\n");
    }
}

// Every way out: the unfinished last line comes last, and STANDIN_EXIT wins.
int Finish(int code) {
    if (Env("STANDIN_NO_NEWLINE") == "1") Out("last line without a break");
    if (const auto forced = Env("STANDIN_EXIT"); !forced.empty()) return std::atoi(forced.c_str());
    return code;
}

int Usage() {
    Out("Usage: upx [-123456789dlthVL] [-qvfk] [-o file] file..\r\n"
        "\r\n"
        "Commands:\r\n"
        "  -1     compress faster                   -9    compress better\r\n"
        "  --best compress best\r\n"
        "  -d     decompress                        -l    list compressed file\r\n"
        "  -t     test compressed file              -V    display version number\r\n"
        "  -h     give this help\r\n"
        "Options:\r\n"
        "  -q     be quiet                          -o FILE  write output to FILE\r\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Line ends are written as UPX's runtime writes them: CR LF, byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (const auto log = Env("STANDIN_LOG"); !log.empty()) {
        HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            const auto line = Utf8(GetCommandLineW()) + "\n";
            DWORD put = 0;
            WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
            CloseHandle(f);
        }
    }
    if (const auto ms = Env("STANDIN_SLEEP_MS"); !ms.empty()) Sleep(std::strtoul(ms.c_str(), nullptr, 10));
    TestOutput();

    enum class Mode { Compress, Decompress, Test, List } mode = Mode::Compress;
    int quiet = 0;
    std::uint8_t level = 7;
    std::string output;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--version" || a == "-V") {
            Out("upx-standin 4.2.4\r\nA stand-in for UPX used by Zandrel's tests.\r\n");
            return Finish(0);
        }
        if (a == "-h" || a == "--help" || a == "-?") return Finish(Usage());
        if (a == "-d") mode = Mode::Decompress;
        else if (a == "-t") mode = Mode::Test;
        else if (a == "-l") mode = Mode::List;
        else if (a == "-q" || a == "-qq" || a == "-qqq") quiet = static_cast<int>(a.size()) - 1;
        else if (a == "--best") level = 10;
        else if (a.size() == 2 && a[0] == '-' && a[1] >= '1' && a[1] <= '9') level = static_cast<std::uint8_t>(a[1] - '0');
        else if (a == "-o" && i + 1 < argc) output = argv[++i];
        else if (!a.empty() && a[0] == '-') {
            Err("upx: " + a + ": unknown option\r\n");
            return Finish(1);
        } else files.push_back(a);
    }
    if (files.empty()) {
        Out("Usage: upx [-123456789dlthVL] [-qvfk] [-o file] file..\r\n");
        return Finish(1);
    }

    if (quiet < 1) Out("                     UPX stand-in 4.2.4 for Zandrel tests\r\n\r\n");

    int result = 0;
    auto error = [&result](const std::string& name, const std::string& what) {
        Err("upx: " + name + ": " + what + "\r\n");
        result = 1;
    };
    auto warning = [&result](const std::string& name, const std::string& what) {
        Err("upx: " + name + ": " + what + "\r\n");
        if (result == 0) result = 2;
    };
    // A new file with -o, else the file itself, rewritten in place.
    auto store = [&output](const std::string& file, const std::vector<std::uint8_t>& data) {
        return output.empty() ? ReplaceInPlace(file, data) : WriteNew(output, data);
    };
    int done = 0;
    for (const auto& name : files) {
        currentName = name;
        std::vector<std::uint8_t> data;
        if (!ReadAll(name, data)) {
            error(name, "FileNotFoundException: " + name + ": No such file or directory");
            continue;
        }
        const bool packed = IsPacked(data);
        const auto target = output.empty() ? name : output;
        char row[1024];
        switch (mode) {
            case Mode::Compress: {
                if (packed) {
                    warning(name, "AlreadyPackedException: already packed by UPX");
                    continue;
                }
                if (!output.empty() && Exists(output)) {
                    error(name, "Exception: output file " + output + " exists");
                    continue;
                }
                const auto out = Pack(data, level);
                if (!store(name, out)) {
                    error(name, "IOException: cannot write " + target);
                    continue;
                }
                wsprintfA(row, "%10u ->%10u  packed  win64/pe  %s\r\n", static_cast<unsigned>(data.size()),
                          static_cast<unsigned>(out.size()), target.c_str());
                if (quiet < 3) Out(row);
                ++done;
                break;
            }
            case Mode::Decompress: {
                if (!packed) {
                    warning(name, "NotPackedException: not packed by UPX");
                    continue;
                }
                if (!output.empty() && Exists(output)) {
                    error(name, "Exception: output file " + output + " exists");
                    continue;
                }
                const auto out = Unpack(data);
                if (!store(name, out)) {
                    error(name, "IOException: cannot write " + target);
                    continue;
                }
                wsprintfA(row, "%10u <-%10u  unpacked  win64/pe  %s\r\n", static_cast<unsigned>(out.size()),
                          static_cast<unsigned>(data.size()), target.c_str());
                if (quiet < 3) Out(row);
                ++done;
                break;
            }
            case Mode::Test:
                if (!packed) {
                    warning(name, "NotPackedException: not packed by UPX");
                    continue;
                }
                if (Env("STANDIN_FAIL_TEST") == "1") {
                    error(name, "CantUnpackException: file is damaged");
                    continue;
                }
                if (quiet < 3) Out("testing " + name + " [OK]\r\n");
                ++done;
                break;
            case Mode::List:
                if (!packed) {
                    warning(name, "NotPackedException: not packed by UPX");
                    continue;
                }
                wsprintfA(row, "%10u ->%10u  level %u  win64/pe  %s\r\n", static_cast<unsigned>(data.size() - 9),
                          static_cast<unsigned>(data.size()), static_cast<unsigned>(data[sizeof kMagic]), name.c_str());
                if (quiet < 3) Out(row);
                ++done;
                break;
        }
    }
    if (quiet < 2 && done > 0) {
        const char* verb = mode == Mode::Compress ? "Packed" : mode == Mode::Decompress ? "Unpacked"
                           : mode == Mode::Test   ? "Tested"
                                                  : "Listed";
        char line[64];
        wsprintfA(line, "\r\n%s %d file%s.\r\n", verb, done, done == 1 ? "" : "s");
        Out(line);
    }
    return Finish(result);
}
