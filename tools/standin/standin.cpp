// A stand-in for upx.exe in tests: it keeps UPX's command-line contract
// (switches, exit codes 0/1/2, errors on standard error) and really
// transforms the file, so a compress/decompress round trip can be checked.
//
// Like the real UPX for Windows it is an ANSI program: it takes its arguments
// through the ANSI code page (a name that code page cannot spell arrives
// best-fit mapped or as '?', and is then not found), opens files with the
// narrow file functions (so paths past MAX_PATH fail), prints names as ANSI
// bytes through the C runtime's standard streams, holds its input open
// against other writers while it works, refuses a read-only file it would
// rewrite in place, and does a job in place as UPX does: the output goes to a
// new file named like the input with the extension ".upx" (or ".000" to
// ".999" when that name is taken), written in pieces; then the input is
// removed and the new file renamed to the input's name. A write that fails
// (a full disk) removes the new file. A packed file looks to UPX's check as a
// program UPX packed (packed_format.h), so "already packed" is decided alike.
//
// Test switches from the environment:
//   STANDIN_LOG=path       append the received command line (one line, UTF-8)
//   STANDIN_ARGS=path      append the arguments as the program reads them, one run a
//                          line, each argument in brackets: "[-9] [--lzma] [C:\a.exe]"
//   STANDIN_SLEEP_MS=n     sleep before doing anything
//   STANDIN_EXIT=n         end with this exit code after the work
//   STANDIN_FLOOD=n        print n numbered lines ("line 000001 ...")
//   STANDIN_NUL=1          print a line with NUL bytes inside
//   STANDIN_LONE_CR=1      print a progress line redrawn with lone CRs
//   STANDIN_SPLIT=1        print one line in two writes, 200 ms apart
//   STANDIN_NO_NEWLINE=1   end the output with a line without a break
//   STANDIN_PAIR=1         print "first of a pair", and 20 ms later "second of a pair"
//   STANDIN_LINGER_MS=n    stay so long before ending, all output written
//   STANDIN_TICKS=n        print n lines 150 ms apart, each "tick I T" with T the
//                          precise system time (100 ns units) it was written at
//   STANDIN_SAY_CONSOLE=1  print "console: yes" when it was given a console, else "console: none"
//   STANDIN_FAIL_TEST=1    a test (-t) of a packed file finds it damaged (exit 1)
//   STANDIN_FAIL_WRITE=1   fail every job that writes a file, after creating
//                          (any other text: only files whose name holds it)
//                          (and removing) its temporary file
// A job that writes a file passes these points, in this order:
//   opened   the input is read and held open, nothing written yet
//   half     half of the new file is written
//   written  the new file is complete and closed; the input is still there
//   removed  (in place) the input is removed; the new file is not renamed yet
//   done     the job is finished
//   STANDIN_DIE_AT=point   the stand-in dies there, as a crashed UPX does
//                          (exit code 0xC0000005, nothing cleaned up)
//   STANDIN_PAUSE_AT=point with STANDIN_SIGNAL=path: at that point it writes the
//                          point's name into that file and waits until the file
//                          is gone (at most two minutes), then goes on
//                          (a path ending in a backslash: a folder, where each
//                          file stops on its own signal, NAME.EXT.signal)
//   STANDIN_DIE_FILE=t, STANDIN_PAUSE_FILE=t: only for a file whose name holds t
//   STANDIN_PAUSE_AT=point@t,point@u: each point for the files whose names hold t, u
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "packed_format.h"

namespace {

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

std::string currentName;  // the file the job is on, as given

// A point of a job (see the list above): die there, or tell the test and wait.
bool ForThisFile(const char* filter) {
    const std::string only = Env(filter);
    return only.empty() || currentName.find(only) != std::string::npos;
}

// STANDIN_PAUSE_AT: "point" (with STANDIN_PAUSE_FILE for one file), or a list
// "point@part,point@part" where each entry holds for files whose name holds the part.
bool PausesAt(const char* name) {
    const std::string list = Env("STANDIN_PAUSE_AT");
    if (list == name) return ForThisFile("STANDIN_PAUSE_FILE");
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        const std::string entry = list.substr(start, end - start);
        const std::size_t at = entry.find('@');
        if (at != std::string::npos && entry.substr(0, at) == name &&
            currentName.find(entry.substr(at + 1)) != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

void Point(const char* name) {
    if (Env("STANDIN_DIE_AT") == name && ForThisFile("STANDIN_DIE_FILE"))
        TerminateProcess(GetCurrentProcess(), 0xC0000005);
    std::string signal = Env("STANDIN_SIGNAL");
    if (signal.empty() || !PausesAt(name)) return;
    // A folder: each file stops on a signal of its own there.
    if (signal.back() == '\\') signal += currentName.substr(currentName.find_last_of("\\/:") + 1) + ".signal";
    HANDLE f = CreateFileA(signal.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD put = 0;
    WriteFile(f, name, static_cast<DWORD>(lstrlenA(name)), &put, nullptr);
    CloseHandle(f);
    for (int waited = 0; waited < 120000 && Exists(signal); waited += 20) Sleep(20);
}

// The input, read whole and held open against other writers until the job is done.
struct Input {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string data;
    void Close() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    ~Input() { Close(); }
};

bool Open(const std::string& path, Input& input) {
    input.handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (input.handle == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(input.handle, &size);
    input.data.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    return input.data.empty() || (ReadFile(input.handle, input.data.data(), static_cast<DWORD>(input.data.size()),
                                           &got, nullptr) &&
                                  got == input.data.size());
}

// A new file written in pieces, so a full disk stops it half-way; a failed one is removed.
bool WriteNew(const std::string& path, const std::string& data) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    auto write = [f, &data](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to; at += 64 * 1024) {
            const DWORD n = static_cast<DWORD>(std::min<std::size_t>(64 * 1024, to - at));
            DWORD put = 0;
            if (!WriteFile(f, data.data() + at, n, &put, nullptr) || put != n) return false;
        }
        return true;
    };
    bool ok = write(0, data.size() / 2);
    if (ok) {
        FlushFileBuffers(f);
        Point("half");
        ok = write(data.size() / 2, data.size());
    }
    ok = FlushFileBuffers(f) && ok;
    CloseHandle(f);
    const std::string fail = Env("STANDIN_FAIL_WRITE");
    if (ok && !fail.empty() && (fail == "1" || currentName.find(fail) != std::string::npos)) ok = false;
    if (!ok) DeleteFileA(path.c_str());
    if (ok) Point("written");
    return ok;
}

// UPX's name for the new file of a job in place: the extension replaced by
// ".upx", or ".000" to ".999" when that is taken.
std::string TempNameFor(const std::string& path) {
    const auto sep = path.find_last_of("\\/:");
    const auto dot = path.find_last_of('.');
    const std::string stem = dot != std::string::npos && (sep == std::string::npos || dot > sep) ? path.substr(0, dot)
                                                                                                  : path;
    if (!Exists(stem + ".upx")) return stem + ".upx";
    for (int n = 0; n < 1000; ++n) {
        char ext[8];
        wsprintfA(ext, ".%03d", n);
        if (!Exists(stem + ext)) return stem + ext;
    }
    return {};
}

// The way UPX writes a file in place: a new file beside it, then the input
// removed and the new file renamed to the name it was given.
bool ReplaceInPlace(const std::string& path, const std::string& data, Input& input) {
    const std::string temp = TempNameFor(path);
    if (temp.empty() || !WriteNew(temp, data)) return false;
    input.Close();
    if (!DeleteFileA(path.c_str())) {
        DeleteFileA(temp.c_str());
        return false;
    }
    Point("removed");
    return MoveFileA(temp.c_str(), path.c_str()) != FALSE;
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
    if (Env("STANDIN_SAY_CONSOLE") == "1") {
        const HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
        Out(console == INVALID_HANDLE_VALUE ? "console: none\r\n" : "console: yes\r\n");
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
    }
    if (Env("STANDIN_NUL") == "1") Out(std::string("nul\0inside\0line\r\n", 18));
    if (Env("STANDIN_LONE_CR") == "1") Out("progress 10%\rprogress 50%\rprogress 100%\r\n");
    if (Env("STANDIN_PAIR") == "1") {
        Out("first of a pair\r\n");
        Sleep(20);
        Out("second of a pair\r\n");
    }
    if (Env("STANDIN_SPLIT") == "1") {
        Out("first half, ");
        Sleep(200);
        Out("second half\r\n");
    }
}

// Every way out: the unfinished last line comes last, and STANDIN_EXIT wins.
int Finish(int code) {
    if (Env("STANDIN_NO_NEWLINE") == "1") Out("last line without a break");
    if (const auto ms = Env("STANDIN_LINGER_MS"); !ms.empty()) Sleep(std::strtoul(ms.c_str(), nullptr, 10));
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

// The options UPX 4.2 takes for a Windows program beyond the form's: these
// spellings and values only; anything else is refused like an unknown option.
bool KnownAdvancedOption(const std::string& a) {
    static const char* const exact[] = {"--lzma", "--brute", "--ultra-brute", "-f", "--overlay=copy",
                                        "--overlay=strip", "--overlay=skip", "--compress-exports=0",
                                        "--compress-exports=1", "--compress-icons=0", "--compress-icons=1",
                                        "--compress-icons=2", "--compress-icons=3", "--compress-resources=0",
                                        "--compress-resources=1", "--strip-relocs=0", "--strip-relocs=1"};
    for (const char* known : exact)
        if (a == known) return true;
    const std::string keep = "--keep-resource=";
    return a.size() > keep.size() && a.compare(0, keep.size(), keep) == 0;
}

void LogArguments(int argc, char** argv) {
    const auto log = Env("STANDIN_ARGS");
    if (log.empty()) return;
    std::string line;
    for (int i = 1; i < argc; ++i) line += std::string(i > 1 ? " [" : "[") + argv[i] + "]";
    line += "\n";
    HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD put = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
    CloseHandle(f);
}

void LogCommandLine() {
    const auto log = Env("STANDIN_LOG");
    if (log.empty()) return;
    HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    const auto line = Utf8(GetCommandLineW()) + "\n";
    DWORD put = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
    CloseHandle(f);
}

enum class Mode { Compress, Decompress, Test, List };

struct Job {
    Mode mode = Mode::Compress;
    int quiet = 0;
    std::uint8_t level = 7;
    std::string output;
    std::vector<std::string> files;
    int result = 0;
    int done = 0;

    void Error(const std::string& name, const std::string& what) {
        Err("upx: " + name + ": " + what + "\r\n");
        result = 1;
    }
    void Warning(const std::string& name, const std::string& what) {
        Err("upx: " + name + ": " + what + "\r\n");
        if (result == 0) result = 2;
    }
    // A new file with -o, else the file itself, rewritten in place.
    bool Store(const std::string& file, const std::string& data, Input& input) const {
        return output.empty() ? ReplaceInPlace(file, data, input) : WriteNew(output, data);
    }
    void Rewrite(const std::string& name, Input& input, bool packed);
    void Read(const std::string& name, const Input& input, bool packed);
    void One(const std::string& name);
};

// Compress or decompress.
void Job::Rewrite(const std::string& name, Input& input, bool packed) {
    const bool compress = mode == Mode::Compress;
    // Before anything else, as UPX does: a file it would rewrite in place must be writable.
    if (output.empty() && (GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_READONLY))
        return Error(name, "IOException: file is write protected -- skipped");
    if (compress && packed) return Warning(name, "AlreadyPackedException: already packed by UPX");
    if (!compress && !packed) return Warning(name, "NotPackedException: not packed by UPX");
    if (!output.empty() && Exists(output)) return Error(name, "Exception: output file " + output + " exists");
    const std::string out = compress ? standin::Pack(input.data, level) : standin::Unpack(input.data);
    if (!compress && out.empty() && input.data.size() > standin::kPayloadAt)
        return Error(name, "CantUnpackException: not packed by this stand-in");
    const auto target = output.empty() ? name : output;
    if (!Store(name, out, input)) return Error(name, "IOException: cannot write " + target);
    Point("done");
    char row[1024];
    const auto [bigger, smaller] = compress ? std::pair(input.data.size(), out.size()) : std::pair(out.size(), input.data.size());
    wsprintfA(row, "%10u %s%10u  %s  win64/pe  %s\r\n", static_cast<unsigned>(bigger), compress ? "->" : "<-",
              static_cast<unsigned>(smaller), compress ? "packed" : "unpacked", target.c_str());
    if (quiet < 3) Out(row);
    ++done;
}

// Test or list.
void Job::Read(const std::string& name, const Input& input, bool packed) {
    if (!packed) return Warning(name, "NotPackedException: not packed by UPX");
    if (mode == Mode::Test) {
        if (Env("STANDIN_FAIL_TEST") == "1") return Error(name, "CantUnpackException: file is damaged");
        if (quiet < 3) Out("testing " + name + " [OK]\r\n");
    } else {
        char row[1024];
        wsprintfA(row, "%10u ->%10u  level %u  win64/pe  %s\r\n",
                  static_cast<unsigned>(input.data.size() - standin::kPayloadAt), static_cast<unsigned>(input.data.size()),
                  static_cast<unsigned>(static_cast<std::uint8_t>(input.data[standin::kLevelAt])), name.c_str());
        if (quiet < 3) Out(row);
    }
    ++done;
}

void Job::One(const std::string& name) {
    currentName = name;
    Input input;
    if (!Open(name, input)) return Error(name, "FileNotFoundException: " + name + ": No such file or directory");
    Point("opened");
    const bool packed = standin::IsPacked(input.data);
    if (mode == Mode::Compress || mode == Mode::Decompress)
        Rewrite(name, input, packed);
    else
        Read(name, input, packed);
}

}  // namespace

int main(int argc, char** argv) {
    // Line ends are written as UPX's runtime writes them: CR LF, byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    LogCommandLine();
    LogArguments(argc, argv);
    if (const auto ms = Env("STANDIN_SLEEP_MS"); !ms.empty()) Sleep(std::strtoul(ms.c_str(), nullptr, 10));
    TestOutput();

    Job job;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--version" || a == "-V") {
            Out("upx 4.2.4\r\nA stand-in for UPX used by Zandrel's tests.\r\n");
            return Finish(0);
        }
        if (a == "-h" || a == "--help" || a == "-?") return Finish(Usage());
        if (a == "-d") job.mode = Mode::Decompress;
        else if (a == "-t") job.mode = Mode::Test;
        else if (a == "-l") job.mode = Mode::List;
        else if (a == "-q" || a == "-qq" || a == "-qqq") job.quiet = static_cast<int>(a.size()) - 1;
        else if (a == "--best") job.level = 10;
        else if (a.size() == 2 && a[0] == '-' && a[1] >= '1' && a[1] <= '9') job.level = static_cast<std::uint8_t>(a[1] - '0');
        else if (a == "-o" && i + 1 < argc) job.output = argv[++i];
        else if (a == "--brute" || a == "--ultra-brute") job.level = 10;  // the tightest there is
        else if (KnownAdvancedOption(a)) continue;  // taken; the stand-in's packed form is its own whatever they say
        else if (!a.empty() && a[0] == '-') {
            Err("upx: " + a + ": unknown option\r\n");
            return Finish(1);
        } else job.files.push_back(a);
    }
    if (job.files.empty()) {
        Out("Usage: upx [-123456789dlthVL] [-qvfk] [-o file] file..\r\n");
        return Finish(1);
    }

    if (job.quiet < 1) Out("                     UPX stand-in 4.2.4 for Zandrel tests\r\n\r\n");
    for (const auto& name : job.files) job.One(name);
    if (job.quiet < 2 && job.done > 0) {
        const char* verb = job.mode == Mode::Compress     ? "Packed"
                           : job.mode == Mode::Decompress ? "Unpacked"
                           : job.mode == Mode::Test       ? "Tested"
                                                          : "Listed";
        char line[64];
        wsprintfA(line, "\r\n%s %d file%s.\r\n", verb, job.done, job.done == 1 ? "" : "s");
        Out(line);
    }
    return Finish(job.result);
}
