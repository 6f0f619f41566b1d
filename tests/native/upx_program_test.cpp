// Telling UPX from other programs, and the status line's texts.
#include <gtest/gtest.h>

#include "jobs/job_report.h"
#include "jobs/upx_program.h"

namespace zandrel::test {
namespace {

// A program header: "MZ", the PE header at 0x80, an optional header of the given magic and subsystem.
std::string Program(unsigned magic, unsigned subsystem, std::size_t cut = 0) {
    std::string bytes(0x80 + 24 + 0xF0, '\0');
    bytes[0] = 'M', bytes[1] = 'Z', bytes[0x3C] = static_cast<char>(0x80);
    bytes.replace(0x80, 4, std::string("PE\0\0", 4));
    bytes[0x80 + 24] = static_cast<char>(magic & 0xFF), bytes[0x80 + 25] = static_cast<char>(magic >> 8);
    bytes[0x80 + 24 + 68] = static_cast<char>(subsystem);
    return cut ? bytes.substr(0, cut) : bytes;
}

unsigned SubsystemOf(const std::string& bytes) {
    return ProgramSubsystem([&](std::uint64_t offset, std::size_t count) {
        return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), count);
    });
}

TEST(UpxProgram, OnlyAConsoleProgramIsEverAsked) {
    EXPECT_EQ(SubsystemOf(Program(0x20B, 3)), kConsoleSubsystem) << "64-bit console";
    EXPECT_EQ(SubsystemOf(Program(0x10B, 3)), kConsoleSubsystem) << "32-bit console";
    EXPECT_EQ(SubsystemOf(Program(0x20B, 2)), 2u) << "a program with windows";
    EXPECT_EQ(SubsystemOf(Program(0x123, 3)), 0u) << "no optional header of a known kind";
    EXPECT_EQ(SubsystemOf(Program(0x20B, 3, 0x80 + 24 + 60)), 0u) << "cut before the subsystem";
    EXPECT_EQ(SubsystemOf("plain text, not a program"), 0u);
    EXPECT_EQ(SubsystemOf(""), 0u);
}

TEST(UpxProgram, OnlyUpxsOwnFirstLineIsItsVersion) {
    EXPECT_EQ(UpxVersionIn({"upx 4.2.3", "UCL data compression library 1.03"}), "4.2.3");
    EXPECT_EQ(UpxVersionIn({"upx 5.0.0-git-1a2b3c"}), "5.0.0");
    EXPECT_EQ(UpxVersionIn({"upx 3.96"}), "3.96");
    for (const char* other : {"UPX 4.2.3", "upx", "upx 4", "upx .4.2", "upx-standin 4.2.4", " upx 4.2.3", "upx x.y.z",
                              "Error: Invalid option '-'."})
        EXPECT_EQ(UpxVersionIn({other}), "") << other;
    EXPECT_EQ(UpxVersionIn({}), "");
    EXPECT_EQ(UpxVersionIn({"", "upx 4.2.3"}), "") << "the first line only";
}

TEST(StatusLine, SaysWhatTheJobDid) {
    RunReport r;
    r.file = L"app.exe";
    r.sizeBefore = 6400000, r.sizeAfter = 1800000;
    EXPECT_EQ(StatusOfRun(r), L"app.exe packed: 6,400,000 to 1,800,000 bytes (28.1%).");
    r.sizeAfter = -1;
    EXPECT_EQ(StatusOfRun(r), L"app.exe packed.") << "a size that cannot be read is not made up";
    r.end = JobEnd::ResultNotPut;
    EXPECT_EQ(StatusOfRun(r), L"app.exe: UPX finished, but its result is not in place (see the message).");
    r.outcome = {0, 1};
    r.end = JobEnd::MadeWhole;
    EXPECT_EQ(StatusOfRun(r), L"app.exe: UPX ended (exit code 1) without the file in its place; see the message for "
                              L"what was done.") << "not 'not processed': the file was changed";
    r.end = JobEnd::AsUpxSaid;
    EXPECT_EQ(StatusOfRun(r), L"app.exe was not processed: UPX reported an error.");
    r.reason = L"UnknownExecutableFormatException";
    EXPECT_EQ(StatusOfRun(r), L"app.exe was not processed: UnknownExecutableFormatException");
    r.outcome = {0, 0xC000013A};
    EXPECT_EQ(StatusOfRun(r), L"app.exe: UPX did not end normally (exit code 0xC000013A); see the message for the file.");
    r.outcome = {2, 0};
    EXPECT_EQ(StatusOfRun(r), L"app.exe: UPX could not be started.");
    EXPECT_EQ(StatusOfVerdict(Verdict::Test, L"a.exe", 3, L"", L""), L"a.exe: UPX did not end normally (exit code 3).");
    EXPECT_EQ(StatusOfVerdict(Verdict::List, L"a.exe", 1, L"IOException: x", L""), L"UPX could not list a.exe: IOException: x");
}

}  // namespace
}  // namespace zandrel::test
