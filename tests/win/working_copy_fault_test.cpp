// Working copies when things go wrong: the source's attributes, a full disk with a
// read-only source, litter and notes. Real files and a test-only settings key.
#include "test_support.h"

#include "framework/files.h"
#include "framework/registry.h"
#include "jobs/batch_run.h"
#include "jobs/file_safety.h"
#include "jobs/job_host.h"
#include "jobs/temporary_files.h"

namespace zandrel::test {
namespace {

constexpr DWORD kGuarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::vector<std::wstring> NotesUnder(const std::wstring& key) {
    const auto notes = RegistryKey::Open(HKEY_CURRENT_USER, key, false);
    return notes ? notes->ValueNames() : std::vector<std::wstring>{};
}

// A copy that will stand in for the user's file (put back after a failed test) has its
// read-only, hidden and system attributes, as a copy made by the system does.
TEST(WorkingCopyFaults, ACopyKeepsTheSourcesAttributes) {
    TempDir dir(L"za");
    RecordingDialogs dialogs;
    WinJobHost host(dialogs, nullptr);
    for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
                                   DWORD{FILE_ATTRIBUTE_READONLY}, kGuarded}) {
        const auto source = dir / (L"app" + std::to_wstring(attributes) + L".exe");
        WriteBytes(source, "the file");
        ASSERT_TRUE(SetFileAttributesW(source.c_str(), attributes));
        const auto copy = CopyToTemporary(source, dir.Path(), host);
        ASSERT_FALSE(copy.empty());
        EXPECT_EQ(GetFileAttributesW(copy.c_str()) & kGuarded, attributes) << attributes;
        EXPECT_EQ(ReadBytes(copy), "the file");
        RemoveFileAt(copy, Removal::ReadOnlyToo);
        RemoveFileAt(source, Removal::ReadOnlyToo);
    }
}

// A read-only file whose copy does not fit: the part is removed and no other name is tried
// (each would leave one more part).
TEST(WorkingCopyFaults, AReadOnlySourceThatDoesNotFitLeavesNoPart) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir full(L"zr", small);
    const std::wstring key = kTestKey + L"\\ReadOnlyParts";
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, key);
    RecordingDialogs dialogs;
    WinJobHost host(dialogs, nullptr);
    host.NoteCopiesUnder(key);
    const auto source = full / L"app.exe";
    WriteBytes(source, std::string(1200 * 1024, 'a'));
    ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        DiskFiller filler(small, 300 * 1024);
        EXPECT_EQ(CopyToTemporary(source, full.Path(), host), L"");
    }
    EXPECT_EQ(Listing(full.Path()), std::set<std::wstring>{L"app.exe"});
    EXPECT_TRUE(NotesUnder(key).empty());
    for (const auto& name : Listing(full.Path())) RemoveFileAt(full / name, Removal::ReadOnlyToo);
    RegistryKey::DeleteKey(HKEY_CURRENT_USER, key);
}

// A hidden, system file packed in a batch without a backup whose packed form fails
// UPX's test: it is put back from the private copy, as it was, attributes and all.
TEST(WorkingCopyFaults, AFilePutBackAfterAFailedTestIsHiddenAsBefore) {
    TempDir dir(L"zh");
    RecordingDialogs dialogs;
    WinJobHost host(dialogs, nullptr);
    TBatchRun batch(host, L"");
    bool done = false;
    std::vector<BatchFileOutcome> finished;
    batch.OnFinished = [&](const std::vector<BatchFileOutcome>& files) { finished = files, done = true; };
    const auto app = dir / L"app.exe";
    std::string original = "MZ";
    for (int i = 0; i < 6000; ++i) original.push_back(static_cast<char>('a' + i % 23));
    WriteBytes(app, original);
    constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(app.c_str(), kHiddenSystem));
    EnvSwitch damaged(L"STANDIN_FAIL_TEST", L"1");
    JobForm form;
    form.upx = StandinPath();
    form.level = L"6";
    form.backup = false;
    batch.Start({app}, form, 1);
    for (const ULONGLONG end = GetTickCount64() + 60000; !done && GetTickCount64() < end;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
    }
    ASSERT_TRUE(done);
    ASSERT_EQ(finished[0].result, BatchResult::Error) << Narrow(finished[0].reason);
    EXPECT_EQ(ReadBytes(app), original) << Narrow(finished[0].reason);
    EXPECT_EQ(GetFileAttributesW(app.c_str()) & kGuarded, kHiddenSystem) << Narrow(finished[0].reason);
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"app.exe"});
    SetFileAttributesW(app.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace zandrel::test
