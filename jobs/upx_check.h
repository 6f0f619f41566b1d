#pragma once
// Whether the chosen program is UPX: a console program that answers --version
// as UPX does. A windowed program, or anything that is no program, is never
// started; a console program is asked hidden, with its output captured and a
// time limit. The answer comes in the background; whoever needs it sooner
// waits for it with messages flowing. An answer holds as long as the file is
// the same (a new UPX put in its place is asked again).
#include <functional>
#include <optional>
#include <string>

#include "console/DosCommand.h"
#include "jobs/job_command.h"
#include "jobs/upx_program.h"

namespace zandrel {

class TUpxCheck {
public:
    static constexpr int kTimeLimitSeconds = 5;

    TUpxCheck();
    // Raised when an answer comes for the program last asked about.
    std::function<void()> OnAnswer;

    // Starts asking about `program` unless its answer is known or on its way.
    void Ask(const std::wstring& program);
    // The answer for `program`, asked and waited for if need be.
    UpxVerdict Answer(const std::wstring& program);
    // The last answer: its program, and UPX's version or the first line the program gave.
    const std::wstring& Program() const { return program_; }
    std::optional<UpxVerdict> Known() const { return verdict_; }
    const std::string& Version() const { return version_; }
    const std::string& FirstLine() const { return firstLine_; }

private:
    void Settle(UpxVerdict verdict, std::string version = {}, std::string firstLine = {});
    void Ended(DWORD exitCode);

    TDosCommand probe_;
    std::wstring program_;
    std::optional<FileStamp> stamp_;
    std::optional<UpxVerdict> verdict_;  // empty while the program is asked
    std::string version_, firstLine_;
    bool asking_ = false;
};

}  // namespace zandrel
