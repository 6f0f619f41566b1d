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

// A job host that notes its working copies under a test key of its own, empty at the
// start and gone at the end.
struct NotingHost {
    explicit NotingHost(const std::wstring& name) : key(kTestKey + L"\\" + name) {
        RegistryKey::DeleteKey(HKEY_CURRENT_USER, key);
        host.NoteCopiesUnder(key);
    }
    ~NotingHost() { RegistryKey::DeleteKey(HKEY_CURRENT_USER, key); }
    std::vector<std::wstring> Notes() const {
        const auto notes = RegistryKey::Open(HKEY_CURRENT_USER, key, false);
        return notes ? notes->ValueNames() : std::vector<std::wstring>{};
    }
    const std::wstring key;
    RecordingDialogs dialogs;
    WinJobHost host{dialogs, nullptr};
};

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
    NotingHost noting(L"ReadOnlyParts");
    const auto source = full / L"app.exe";
    WriteBytes(source, std::string(1200 * 1024, 'a'));
    ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        DiskFiller filler(small, 300 * 1024);
        EXPECT_EQ(CopyToTemporary(source, full.Path(), noting.host), L"");
    }
    EXPECT_EQ(Listing(full.Path()), std::set<std::wstring>{L"app.exe"});
    EXPECT_TRUE(noting.Notes().empty());
    for (const auto& name : Listing(full.Path())) RemoveFileAt(full / name, Removal::ReadOnlyToo);
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

// A program ended in the middle of a copy leaves a plain-named part: it is noted
// while it exists, so the next start can clear it; a failed copy leaves neither.
TEST(Leftovers, PlainNamedCopiesAreNotedWhileTheyExist) {
    ZANDREL_NEED_VOLUME(small, 'R');
    TempDir full(L"zn", small);
    NotingHost noting(L"LeftoverNotes");
    auto& host = noting.host;
    const auto source = full / L"app.exe";
    WriteBytes(source, std::string(1200 * 1024, 'a'));
    const auto copy = host.FreeTempName(full.Path(), L"app.exe");
    ASSERT_EQ(host.CopyFileNew(source, copy), CopyResult::Copied);
    EXPECT_EQ(noting.Notes(), std::vector<std::wstring>{copy}) << "noted while it exists";
    ASSERT_TRUE(host.MoveNew(copy, full / L"app_zandrel_bak.exe"));
    EXPECT_TRUE(noting.Notes().empty()) << "its note goes with its name";
    {
        DiskFiller filler(small, 300 * 1024);
        EXPECT_EQ(host.CopyFileNew(source, host.FreeTempName(full.Path(), L"app.exe")), CopyResult::Failed);
    }
    EXPECT_TRUE(noting.Notes().empty());
    EXPECT_EQ(Listing(full.Path()), (std::set<std::wstring>{L"app.exe", L"app_zandrel_bak.exe"}));
}

// A working copy's name that a leftover holds (a crashed start's private copy, maybe
// the only original of a file): the copy fails, and that file and its note stay as they were.
TEST(Leftovers, ACopyToATakenNameLeavesThatFileAndItsNoteAlone) {
    TempDir dir(L"zt");
    NotingHost noting(L"TakenNames");
    auto& host = noting.host;
    const std::wstring& key = noting.key;
    const auto source = dir / L"app.exe";
    WriteBytes(source, "the file now");
    const auto taken = host.NewTempName(dir.Path(), L"app.exe");
    WriteBytes(taken, "the only original of another file");
    ASSERT_TRUE(TemporaryFiles::Note(key, taken, dir / L"other.exe"));
    const auto noteBefore = RegistryKey::Open(HKEY_CURRENT_USER, key, false)->ReadString(taken);

    EXPECT_EQ(host.CopyFileNew(source, taken), CopyResult::NameTaken);
    EXPECT_EQ(ReadBytes(taken), "the only original of another file");
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, key, false)->ReadString(taken), noteBefore);
    // A leftover nobody noted: left as it is, and not noted as this program's either.
    const auto unnoted = host.NewTempName(dir.Path(), L"app.exe");
    WriteBytes(unnoted, "a file nobody noted");
    EXPECT_EQ(host.CopyFileNew(source, unnoted), CopyResult::NameTaken);
    EXPECT_EQ(ReadBytes(unnoted), "a file nobody noted");
    EXPECT_FALSE(TemporaryFiles::IsNoted(key, unnoted));

    const auto copy = CopyToTemporary(source, dir.Path(), host);
    EXPECT_NE(copy, taken);
    EXPECT_EQ(ReadBytes(copy), "the file now");
}

}  // namespace
}  // namespace zandrel::test
