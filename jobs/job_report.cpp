#include "jobs/job_report.h"

namespace zandrel {
namespace {

std::wstring Because(const std::wstring& reason) { return reason.empty() ? std::wstring() : L": " + reason; }

std::wstring Abnormal(std::uint32_t exitCode) {
    return L"UPX did not end normally (exit code " + ExitCodeText(exitCode) + L")";
}

}  // namespace

std::wstring GroupedDigits(std::int64_t value) {
    const std::wstring digits = std::to_wstring(value < 0 ? -value : value);
    std::wstring text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += L',';
        text += digits[i];
    }
    return value < 0 ? L"-" + text : text;
}

std::wstring StatusOfRun(const RunReport& r) {
    const auto& o = r.outcome;
    if (o.startResult != 0) return r.file + L": UPX could not be started.";
    if (!UpxEndedNormally(o.exitCode)) return r.file + L": " + Abnormal(o.exitCode) + L"; see the message for the file.";
    if (r.end == JobEnd::MadeWhole)
        return r.file + L": UPX ended (exit code " + ExitCodeText(o.exitCode) + L") without the file in its place; see "
                                                                                L"the message for what was done.";
    if (r.end == JobEnd::Unfinished)
        return r.file + L": UPX ended (exit code " + ExitCodeText(o.exitCode) + L") without finishing its work; see the "
                                                                                L"message for what was done.";
    if (r.end == JobEnd::ResultNotPut) return r.file + L": UPX finished, but its result is not in place (see the message).";
    if (o.exitCode == 1) return r.file + L" was not processed" + (r.reason.empty() ? L": UPX reported an error." : Because(r.reason));
    if (o.exitCode == 2) return r.file + L": UPX finished with a warning" + Because(r.reason);
    const std::wstring done = r.file + (r.decompress ? L" unpacked" : L" packed");
    if (r.sizeBefore < 0 || r.sizeAfter < 0) return done + L".";
    std::wstring text = done + L": " + GroupedDigits(r.sizeBefore) + L" to " + GroupedDigits(r.sizeAfter) + L" bytes";
    if (r.sizeBefore > 0) {
        // Rounded to a tenth of a per cent in integers: no locale's decimal comma sneaks in.
        const std::int64_t tenths = (r.sizeAfter * 1000 + r.sizeBefore / 2) / r.sizeBefore;
        text += L" (" + std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L"%)";
    }
    return text + L".";
}

std::wstring StatusOfVerdict(Verdict kind, const std::wstring& file, std::uint32_t exitCode, const std::wstring& reason,
                             const std::wstring& firstLine) {
    if (!UpxEndedNormally(exitCode)) return (file.empty() ? std::wstring() : file + L": ") + Abnormal(exitCode) + L".";
    switch (kind) {
        case Verdict::Version: return exitCode == 0 && !firstLine.empty() ? firstLine : L"UPX gave no version.";
        case Verdict::Test:
            if (exitCode == 0) return file + L" passed UPX's test.";
            if (exitCode == 2) return file + L" is not packed by UPX" + Because(reason);
            return file + L" failed UPX's test" + Because(reason);
        case Verdict::List:
            if (exitCode == 0) return file + L" is packed by UPX; its details are in the console window.";
            if (exitCode == 2) return file + L" is not packed by UPX" + Because(reason);
            return L"UPX could not list " + file + Because(reason);
    }
    return {};
}

}  // namespace zandrel
