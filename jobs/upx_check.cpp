#include "jobs/upx_check.h"

#include "framework/application.h"
#include "framework/files.h"

namespace zandrel {
namespace {

std::optional<FileStamp> StampOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    stamp.writeTime =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

}  // namespace

TUpxCheck::TUpxCheck() {
    probe_.ShowWindow = TShowWindow::swHIDE;
    probe_.CreationFlag = TCreationFlag::fCREATE_NEW_CONSOLE;
    probe_.MaxTimeAfterBeginning = kTimeLimitSeconds;
    probe_.ReportStartFailure = false;
    probe_.OnTerminated = [this](TDosCommand*, DWORD exitCode) { Ended(exitCode); };
}

void TUpxCheck::Ask(const std::wstring& program) {
    const auto stamp = StampOf(program);
    // No answer in time is no verdict on the file (a first start may be slow): it is asked again.
    if (program == program_ && stamp == stamp_ && (asking_ || (verdict_ && *verdict_ != UpxVerdict::NoAnswer))) return;
    program_ = program;
    stamp_ = stamp;
    verdict_.reset();
    version_.clear(), firstLine_.clear();
    probe_.Stop();
    asking_ = false;
    if (!stamp) return Settle(UpxVerdict::Missing);
    const unsigned subsystem =
        ProgramSubsystem([&](std::uint64_t offset, std::size_t count) { return ReadFileBytes(program, offset, count); });
    if (subsystem == 0) return Settle(UpxVerdict::NotAProgram);
    if (subsystem != kConsoleSubsystem) return Settle(UpxVerdict::Windowed);
    asking_ = true;
    probe_.CommandLine = L"\"" + program + L"\" --version";
    probe_.Execute();
}

void TUpxCheck::Ended(DWORD) {
    if (!asking_ || probe_.Running()) return;  // a run that was let go of
    asking_ = false;
    const auto& lines = probe_.CapturedLines;
    const std::string first = lines.empty() ? std::string() : lines.front();
    const TRunStatus status = probe_.RunStatus();
    if (status == TRunStatus::rsTimedOut) return Settle(UpxVerdict::NoAnswer, {}, first);
    if (status != TRunStatus::rsProcessEnded) return Settle(UpxVerdict::NotAProgram);
    const std::string version = UpxVersionIn(lines);
    Settle(version.empty() ? UpxVerdict::OtherAnswer : UpxVerdict::Upx, version, first);
}

void TUpxCheck::Settle(UpxVerdict verdict, std::string version, std::string firstLine) {
    verdict_ = verdict;
    version_ = std::move(version);
    firstLine_ = std::move(firstLine);
    if (OnAnswer) OnAnswer();
}

UpxVerdict TUpxCheck::Answer(const std::wstring& program) {
    Ask(program);
    // The run itself is limited; this only keeps a lost answer from waiting for ever.
    const ULONGLONG end = GetTickCount64() + (kTimeLimitSeconds + 3) * 1000ull;
    while (!verdict_ && asking_ && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        if (!Application::Instance().ProcessMessages()) return UpxVerdict::NoAnswer;  // the program is to end
    }
    // The answer must be about this very program, whatever was asked meanwhile.
    if (program_ != program || !verdict_) return UpxVerdict::NoAnswer;
    return *verdict_;
}

}  // namespace zandrel
