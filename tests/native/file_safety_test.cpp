// What keeps the user's file safe around a job: backups, copies, packed files,
// and the end of a UPX that did not end normally.
#include <gtest/gtest.h>

#include "fake_job_host.h"
#include "jobs/file_safety.h"
#include "jobs/upx_names.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

const std::wstring kApp = L"C:\\src\\app.exe";
const std::wstring kBak = L"C:\\src\\app_zandrel_bak.exe";
const std::wstring kBak2 = L"C:\\src\\app_zandrel_bak2.exe";

// The first bytes of a program with one section of this name (0xF0 bytes of optional header).
std::string Program(const std::string& firstSection, std::size_t headerAt = 0x80) {
    std::string bytes(headerAt + 24 + 0xF0 + 40, '\0');
    bytes[0] = 'M', bytes[1] = 'Z';
    bytes[0x3C] = static_cast<char>(headerAt & 0xFF), bytes[0x3D] = static_cast<char>(headerAt >> 8);
    bytes.replace(headerAt, 4, std::string("PE\0\0", 4));
    bytes[headerAt + 6] = 3;                                        // three sections
    bytes[headerAt + 20] = static_cast<char>(0xF0);                 // optional header size
    bytes.replace(headerAt + 24 + 0xF0, firstSection.size(), firstSection);
    return bytes + "code and data";
}

TEST(Backups, AreNumberedAndNamedAsBefore) {
    EXPECT_EQ(BackupName(L"C:\\a\\app.exe", 2), L"C:\\a\\app_zandrel_bak2.exe");
    EXPECT_EQ(BackupName(L"C:\\a.b\\prog", 3), L"C:\\a.b\\prog_zandrel_bak3");
    for (const auto* name : {L"app_zandrel_bak.exe", L"APP_ZANDREL_BAK12.DLL", L"C:\\x\\prog_zandrel_bak"})
        EXPECT_TRUE(IsBackupName(name)) << name;
    for (const auto* name : {L"app.exe", L"zandrel_bak_app.exe", L"app_zandrel_bakx.exe", L"C:\\a_zandrel_bak\\x.exe"})
        EXPECT_FALSE(IsBackupName(name)) << name;
}

// Start twice on one file, a second batch, a decompress after a compress: the
// backup of the original must survive all of them.
TEST(UpxWorkFiles, AreTheNamesUpxWouldPassOverInItsOrder) {
    EXPECT_EQ(UpxWorkFileName(L"C:\\a\\app.exe", -1), L"C:\\a\\app.upx");
    EXPECT_EQ(UpxWorkFileName(L"C:\\a\\app.exe", 0), L"C:\\a\\app.000");
    EXPECT_EQ(UpxWorkFileName(L"C:\\a\\app.x.dll", 42), L"C:\\a\\app.x.042");
    EXPECT_EQ(UpxWorkFileName(L"C:\\a\\app", 999), L"C:\\a\\app.999");
    FakeHost h;
    EXPECT_TRUE(UpxWorkFiles(L"C:\\src\\app.exe", h).empty());
    h.Put(L"C:\\src\\app.upx", "a user's file");
    h.Put(L"C:\\src\\app.000", "another UPX's work file");
    h.Put(L"C:\\src\\app.002", "after the first free name: UPX takes app.001");
    h.Put(L"C:\\src\\apple.upx", "another stem");
    EXPECT_EQ(UpxWorkFiles(L"C:\\src\\app.exe", h),
              (std::vector<std::wstring>{L"C:\\src\\app.upx", L"C:\\src\\app.000"}));
}

TEST(UpxWorkFiles, AreNamedAlikeForFilesOfOneStemInOneFolder) {
    // (The folder is told by its identity on disk: tested under Wine.)
    EXPECT_EQ(UpxWorkStem(L"C:\\a\\app.exe"), UpxWorkStem(L"C:\\a\\APP.dll"));
    EXPECT_EQ(UpxWorkStem(L"C:\\a\\app"), UpxWorkStem(L"C:\\a\\app.exe"));
    EXPECT_NE(UpxWorkStem(L"C:\\a\\app.exe"), UpxWorkStem(L"C:\\a\\app2.exe"));
    EXPECT_NE(UpxWorkStem(L"C:\\a\\app.x.exe"), UpxWorkStem(L"C:\\a\\app.exe"));
}

TEST(Backups, NeverReplaceAFileOfAnotherContent) {
    FakeHost h;
    h.Put(kApp, "packed by the first run");
    h.Put(kBak, "the original");
    h.readOnly.insert(kBak);
    bool made = false;
    const auto backup = MakeBackup(kApp, h, &made);
    EXPECT_EQ(backup, kBak2) << "a free name beside the old backup";
    EXPECT_TRUE(made);
    EXPECT_EQ(h.Content(kBak), "the original");
    EXPECT_EQ(h.Content(kBak2), "packed by the first run");

    // The same bytes again: the backup there is kept as it is, nothing is written.
    h.log.clear();
    EXPECT_EQ(MakeBackup(kApp, h, &made), kBak2);
    EXPECT_FALSE(made) << "found, not made: a batch must not remove it as its own";
    EXPECT_TRUE(h.log.empty());
    h.Put(kApp, "the original");
    EXPECT_EQ(MakeBackup(kApp, h), kBak);
    EXPECT_TRUE(h.log.empty());
}

TEST(Backups, ALinkToTheFileUnderTheBackupsNameIsNoBackup) {
    FakeHost h;
    h.Put(kApp, "the original");
    h.Put(kBak, "the original");
    h.identity[kBak] = kApp;  // the backup's name leads to the file itself
    bool made = false;
    EXPECT_EQ(MakeBackup(kApp, h, &made), kBak2) << "a copy of its own, beside the link";
    EXPECT_TRUE(made);
    EXPECT_EQ(h.Content(kBak2), "the original");
    h.identity.erase(kBak);
    h.unknownSameness.insert(kBak);  // files the system cannot compare: no trust either
    EXPECT_NE(MakeBackup(kApp, h), kBak);
}

TEST(Backups, ThatFailHalfWayLeaveNothingAndTheOlderBackupStays) {
    FakeHost h;
    h.Put(kApp, "the new file");
    h.Put(kBak, "an older backup");
    h.copyFails = true;  // the disk fills up during the copy
    EXPECT_EQ(MakeBackup(kApp, h), L"");
    EXPECT_EQ(h.files, (std::set<std::wstring>{L"C:\\upx\\upx.exe", kApp, kBak}));
    EXPECT_EQ(h.Content(kBak), "an older backup");

    // Another program takes the name while the copy is written: the copy goes, the file stays.
    FakeHost raced;
    raced.Put(kApp, "the new file");
    raced.Put(kBak2, "someone else's");
    EXPECT_FALSE(CopyIntoPlace(kApp, kBak2, false, raced));
    EXPECT_EQ(raced.Content(kBak2), "someone else's");
    EXPECT_EQ(raced.files.size(), 3u) << "upx.exe, the file and the other file; no copy left";
}

// A working copy's name is not looked up before the copy: a leftover that holds the
// next name stays as it is and the copy takes the name after it; a copy that fails for
// another reason (a full disk) gives up at once.
TEST(Backups, WorkingCopiesStepOverALeftoverAndGiveUpOnAFullDisk) {
    FakeHost h;
    h.Put(kApp, "the file");
    const std::wstring leftover = L"C:\\work\\" + PlainTempName(7, 1, L"app.exe");
    h.Put(leftover, "a leftover of an earlier program");
    const std::wstring copy = CopyToTemporary(kApp, L"C:\\work", h);
    EXPECT_EQ(copy, L"C:\\work\\" + PlainTempName(7, 2, L"app.exe"));
    EXPECT_EQ(h.Content(copy), "the file");
    EXPECT_EQ(h.Content(leftover), "a leftover of an earlier program");

    h.copyFails = true;
    const auto before = h.files;
    EXPECT_EQ(CopyToTemporary(kApp, L"C:\\work", h), L"");
    EXPECT_EQ(h.files, before);
    EXPECT_EQ(h.tempCount, 3u) << "one name tried, then given up";
}

TEST(Backups, AJobWhoseBackupCannotBeMadeAsks) {
    FakeHost h;
    h.Put(kApp, "MZ the file");
    h.copyFails = true;
    auto form = Form();
    EXPECT_EQ(PrepareJob(form, h).way, RunWay::None);
    EXPECT_EQ(h.questions, std::vector<std::wstring>{T(texts::AskNoBackup)});
    EXPECT_EQ(h.Content(kApp), "MZ the file");
}

TEST(PackedFiles, AreToldByTheFirstSectionsName) {
    auto reader = [](const std::string& bytes) {
        return [bytes](std::uint64_t offset, std::size_t count) {
            return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), count);
        };
    };
    EXPECT_TRUE(LooksPackedByUpx(reader(Program("UPX0"))));
    EXPECT_TRUE(LooksPackedByUpx(reader(Program("UPX0", 0x1F8))));
    EXPECT_FALSE(LooksPackedByUpx(reader(Program(".text"))));
    EXPECT_FALSE(LooksPackedByUpx(reader(Program(".UPX0"))));
    std::string noSections = Program("UPX0");
    noSections[0x80 + 6] = 0;
    EXPECT_FALSE(LooksPackedByUpx(reader(noSections)));
    EXPECT_FALSE(LooksPackedByUpx(reader(Program("UPX0").substr(0, 0x100)))) << "cut before the section table";
    std::string farHeader = Program("UPX0");
    farHeader[0x3C] = farHeader[0x3D] = farHeader[0x3E] = farHeader[0x3F] = static_cast<char>(0xFF);
    EXPECT_FALSE(LooksPackedByUpx(reader(farHeader))) << "a header offset past the end";
    EXPECT_FALSE(LooksPackedByUpx(reader("MZ")));
    EXPECT_FALSE(LooksPackedByUpx(reader("UPX0 but no program")));
}

// Each read opens the file (10,000 of them in a folder's check): the head is read once,
// and a header further on than the first page is still found.
TEST(PackedFiles, AreToldFromOneReadOfTheirHead) {
    for (const std::size_t headerAt : {std::size_t{0x80}, std::size_t{0x3000}}) {
        const std::string bytes = Program("UPX1", headerAt) + std::string(8192, 'x');
        int reads = 0;
        const bool packed = LooksPackedByUpx([&](std::uint64_t offset, std::size_t count) {
            ++reads;
            return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), count);
        });
        EXPECT_TRUE(packed) << headerAt;
        EXPECT_EQ(reads, headerAt < 4096 ? 1 : 3) << headerAt;
    }
}

// Headers on either side of the first page's end, and files cut anywhere near it: the
// answer from the one read of the head is the answer the file's bytes give.
TEST(PackedFiles, AreToldAlikeWhereverTheHeadEndsOrTheFileIsCut) {
    auto little = [](const std::string& b, std::size_t at, int width) {
        std::uint64_t v = 0;
        for (int i = width; i-- > 0;) v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
        return v;
    };
    auto fromBytes = [&](const std::string& b) {
        if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') return false;
        const std::uint64_t at = little(b, 0x3C, 4);
        if (at + 24 > b.size() || b.compare(at, 4, std::string("PE\0\0", 4)) != 0 || little(b, at + 6, 2) == 0)
            return false;
        const std::uint64_t section = at + 24 + little(b, at + 20, 2);
        return section + 8 <= b.size() && b.compare(section, 3, "UPX") == 0;
    };
    int cases = 0;
    for (std::size_t headerAt = 4096 - 24 - 0xF0 - 12; headerAt <= 4100; headerAt += 2) {
        const std::string whole = Program("UPX0", headerAt);
        for (std::size_t cut = 4080; cut <= whole.size(); cut += 3) {
            const std::string bytes = whole.substr(0, cut);
            const bool packed = LooksPackedByUpx([&](std::uint64_t offset, std::size_t count) {
                return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), count);
            });
            ASSERT_EQ(packed, fromBytes(bytes)) << "header at " << headerAt << ", file of " << cut << " bytes";
            ++cases;
        }
    }
    EXPECT_GT(cases, 1000);
    // A file that cannot be read beyond its head (taken away meanwhile) is not called packed.
    const std::string far = Program("UPX0", 0x1000);
    EXPECT_FALSE(LooksPackedByUpx([&](std::uint64_t offset, std::size_t count) {
        return offset == 0 ? far.substr(0, count) : std::string();
    }));
}

TEST(PackedFiles, ACompressOfOneTouchesNothingAndSaysSo) {
    FakeHost h;
    h.Put(kApp, Program("UPX0"));
    h.Put(kBak, "the original");
    const auto plan = PrepareJob(Form(), h);
    EXPECT_EQ(plan.way, RunWay::None);
    EXPECT_TRUE(plan.alreadyPacked);
    EXPECT_EQ(h.errors, std::vector<std::wstring>{kApp + L" is already packed by UPX. Nothing was changed."});
    EXPECT_TRUE(h.log.empty()) << "no backup, no copy";
    EXPECT_EQ(h.Content(kBak), "the original");
    // A decompress of it goes on, with a new backup beside the older one.
    auto form = Form();
    form.decompress = true;
    h.errors.clear();
    EXPECT_EQ(PrepareJob(form, h).way, RunWay::Visible);
    EXPECT_EQ(h.Content(kBak), "the original");
    EXPECT_EQ(h.Content(kBak2), Program("UPX0"));
}

TEST(SameFile, ThatCannotBeToldStopsTheJobBeforeTheTargetIsDeleted) {
    FakeHost h;
    h.Put(kApp, "MZ the file");
    auto form = Form();
    form.target = L"\\\\server\\share\\app.exe";
    h.folders.insert(L"\\\\server\\share");
    h.files.insert(form.target);
    h.unknownSameness.insert(form.target);
    h.answerReplace = true;
    EXPECT_EQ(PrepareJob(form, h).way, RunWay::None);
    EXPECT_TRUE(h.questions.empty()) << "not even asked";
    EXPECT_TRUE(h.log.empty());
    EXPECT_TRUE(h.FileExists(form.target));
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find(L"cannot tell"), std::wstring::npos);
}

// UPX writes app.upx beside app.exe, removes app.exe and renames app.upx: the
// states a UPX that dies half-way leaves, and what the job's end makes of them.
class UpxDied : public ::testing::Test {
protected:
    FakeHost h;
    JobPlan plan;
    void Prepare(bool backup) {
        h.Put(kApp, "MZ the original");
        auto form = Form();
        form.backup = backup;
        plan = PrepareJob(form, h);
        ASSERT_EQ(plan.way, RunWay::Visible);
        ASSERT_TRUE(plan.upxWritesInPlace);
        h.log.clear();
    }
    void Finish(std::uint32_t code = 0xC0000005) { FinishJob(plan, {0, code}, h); }
    std::wstring Said() const { return h.errors.empty() ? L"" : h.errors.back(); }
};

TEST_F(UpxDied, AfterRemovingTheFileItIsPutBackFromItsBackup) {
    Prepare(true);
    h.Put(L"C:\\src\\app.upx", "packed, whole");
    h.files.erase(kApp);
    Finish();
    EXPECT_EQ(h.Content(kApp), "MZ the original");
    EXPECT_FALSE(h.FileExists(L"C:\\src\\app.upx")) << "UPX's work file goes";
    EXPECT_EQ(Said(), L"UPX did not end normally (exit code 0xC0000005). The file was put back as it was, from " +
                          kBak + L".");
}

TEST_F(UpxDied, AfterRemovingTheFileWithoutABackupItsFinishedWorkFileTakesItsPlace) {
    Prepare(false);
    h.Put(L"C:\\src\\app.upx", "packed, whole");
    h.files.erase(kApp);
    Finish();
    EXPECT_EQ(h.Content(kApp), "packed, whole");
    EXPECT_FALSE(h.FileExists(L"C:\\src\\app.upx"));
}

TEST_F(UpxDied, BeforeRemovingTheFileOnlyItsWorkFileGoesNotTheUsersOwn) {
    h.Put(L"C:\\src\\app.upx", "the user's own file of that name");
    Prepare(false);
    h.Put(L"C:\\src\\app.000", "half written");
    Finish(0xC000013A);
    EXPECT_EQ(h.Content(kApp), "MZ the original");
    EXPECT_FALSE(h.FileExists(L"C:\\src\\app.000"));
    EXPECT_EQ(h.Content(L"C:\\src\\app.upx"), "the user's own file of that name");
    EXPECT_EQ(Said(), L"UPX did not end normally (exit code 0xC000013A). The file is unchanged.");
}

TEST_F(UpxDied, WithTheFileGoneAndNothingOfItsOwnToPutBackNothingElseIsTouched) {
    Prepare(false);
    h.Put(L"C:\\src\\app.000", "another job's work file (app.dll's)");
    h.files.erase(kApp);
    Finish(7);
    EXPECT_EQ(h.Content(L"C:\\src\\app.000"), "another job's work file (app.dll's)");
    EXPECT_FALSE(h.FileExists(kApp)) << "not someone else's file in its place";
    EXPECT_NE(Said().find(L"The file is missing."), std::wstring::npos) << Said().c_str();
}

// UPX took app.upx, another job (app.dll) app.000: only the job's own work file is its to touch.
TEST_F(UpxDied, AnotherJobsWorkFileOfTheSameStemIsLeftAlone) {
    Prepare(true);
    h.Put(L"C:\\src\\app.upx", "this job's, half written");
    h.Put(L"C:\\src\\app.000", "app.dll's, being written");
    Finish();
    EXPECT_FALSE(h.FileExists(L"C:\\src\\app.upx"));
    EXPECT_EQ(h.Content(L"C:\\src\\app.000"), "app.dll's, being written");
}

// UPX ended from outside gets exit code 1 too: only its work file, which UPX removes
// itself before it ends with an error, tells the two apart.
TEST_F(UpxDied, AnErrorsCodeWithItsWorkFileLeftIsAnEndFromOutside) {
    h.Put(L"C:\\src\\app.upx", "the user's own file of that name");
    Prepare(true);
    Finish(1);
    EXPECT_EQ(Said(), T(texts::MsgJobError)) << "UPX's own error";
    h.Put(L"C:\\src\\app.000", "half written");
    Finish(1);
    EXPECT_FALSE(h.FileExists(L"C:\\src\\app.000"));
    EXPECT_EQ(h.Content(L"C:\\src\\app.upx"), "the user's own file of that name");
    EXPECT_EQ(h.Content(kApp), "MZ the original");
    EXPECT_EQ(Said(), L"UPX ended (exit code 1) without finishing its work. The file is unchanged.");
}

// UPX ends with its error code, but its rename failed after it removed the file.
TEST_F(UpxDied, AnErrorAfterUpxRemovedTheFileStillPutsItBack) {
    Prepare(false);
    h.Put(L"C:\\src\\app.upx", "packed, whole, its rename failed");
    h.files.erase(kApp);
    Finish(1);
    EXPECT_EQ(h.Content(kApp), "packed, whole, its rename failed");
    EXPECT_EQ(Said().rfind(L"UPX ended (exit code 1) without the file in its place. ", 0), 0u) << Said().c_str();
}

TEST(PrivateCopies, GoBackByARenameWhichNeedsNoRoom) {
    FakeHost h;
    h.Put(kApp, "MZ the original");
    auto form = Form();
    form.backup = false;
    form.keepOriginal = true;
    const auto plan = PrepareJob(form, h);
    h.files.erase(kApp);  // UPX removed it, then died
    h.copyFails = true;   // and the disk is full
    FinishJob(plan, {0, 0xC0000005}, h);
    EXPECT_EQ(h.Content(kApp), "MZ the original");
    EXPECT_FALSE(h.FileExists(plan.privateCopy)) << "moved, not copied";
}

TEST_F(UpxDied, AFileItChangedIsPutBackFromTheBackup) {
    Prepare(true);
    h.Put(kApp, "packed, renamed just before the crash");
    Finish();
    EXPECT_EQ(h.Content(kApp), "MZ the original");
}

TEST_F(UpxDied, AnUnfinishedTargetItWroteGoes) {
    h.Put(kApp, "MZ the original");
    auto form = Form();
    form.target = L"C:\\out\\new.exe";
    plan = PrepareJob(form, h);
    ASSERT_EQ(plan.targetWritten, form.target);
    h.Put(form.target, "half");
    Finish();
    EXPECT_FALSE(h.FileExists(form.target));
    EXPECT_EQ(h.Content(kApp), "MZ the original");
    // UPX's own errors leave the target to UPX, which writes none.
    h.Put(form.target, "whatever UPX left");
    Finish(1);
    EXPECT_TRUE(h.FileExists(form.target));
}

TEST_F(UpxDied, AnOldTargetRemovedForTheJobIsNotCalledUnchanged) {
    h.Put(kApp, "MZ the original");
    auto form = Form();
    form.target = L"C:\\out\\old.exe";
    h.Put(form.target, "the old target");
    h.answerReplace = true;
    plan = PrepareJob(form, h);
    ASSERT_FALSE(h.FileExists(form.target)) << "cleared for UPX, as the user agreed";
    Finish(0xC000013A);
    EXPECT_EQ(Said(), L"UPX did not end normally (exit code 0xC000013A). The old C:\\out\\old.exe had been removed "
                      L"before UPX ran, as you agreed; there is no new one.");
}

TEST(WorkingCopies, AResultIsNotPutOverASourceChangedMeanwhile) {
    FakeHost h;
    const std::wstring omega = L"C:\\src\\\u03a9.exe";
    h.Put(omega, "MZ the original");
    auto form = Form();
    form.source = form.target = omega;
    form.backup = false;
    const auto plan = PrepareJob(form, h);
    ASSERT_EQ(plan.files.resultTo, omega);
    h.Put(omega, "MZ saved by the user while UPX worked");
    h.Put(plan.files.resultFrom, "packed from the older copy");
    FinishJob(plan, {0, 0}, h);
    EXPECT_EQ(h.Content(omega), "MZ saved by the user while UPX worked");
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find(L"was changed while UPX worked"), std::wstring::npos);
}

// The source goes through a working copy, the target UPX could write itself.
TEST(WorkingCopies, AnExistingTargetStaysUntilTheNewOneIsFinished) {
    FakeHost h;
    const std::wstring omega = L"C:\\src\\\u03a9.exe", target = L"C:\\out\\plain.exe";
    h.Put(omega, "MZ the original");
    h.Put(target, "the old target");
    h.answerReplace = true;
    auto form = Form();
    form.source = omega;
    form.target = target;
    form.backup = false;
    h.copyFails = true;  // the working copy cannot be made
    EXPECT_EQ(PrepareJob(form, h).way, RunWay::None);
    EXPECT_EQ(h.Content(target), "the old target") << "still there";
    EXPECT_EQ(h.errors, std::vector<std::wstring>{T(texts::MsgNoWorkCopy)});

    h.copyFails = false;
    h.errors.clear();
    const auto plan = PrepareJob(form, h);
    ASSERT_EQ(plan.way, RunWay::Visible);
    EXPECT_TRUE(h.FileExists(target)) << "not deleted before the run";
    EXPECT_TRUE(plan.files.writesOnlyTemporaries) << "UPX writes only plain-named files: it may be ended";
    FinishJob(plan, {0, 1}, h);
    EXPECT_EQ(h.Content(target), "the old target") << "a failed job leaves it";
}

TEST(WorkingCopies, AJobCancelledAtTheReplaceQuestionLeavesNoCopy) {
    FakeHost h;
    const std::wstring omega = L"C:\\src\\\u03a9.exe", target = L"C:\\out\\plain.exe";
    h.Put(omega, "MZ the original");
    h.Put(target, "the old target");
    auto form = Form();
    form.source = omega;
    form.target = target;
    form.backup = false;
    h.answerReplace = false;
    EXPECT_EQ(PrepareJob(form, h).way, RunWay::None);
    EXPECT_EQ(h.files, (std::set<std::wstring>{L"C:\\upx\\upx.exe", L"C:\\src\\app.exe", omega, target}));
}

TEST(WorkingCopies, UpxMayBeEndedOnlyWhereItWritesNoFileOfTheUsers) {
    FakeHost h;
    const std::wstring omega = L"C:\\src\\\u03a9.exe";
    h.Put(kApp, "MZ plain");
    h.Put(omega, "MZ greek");
    auto form = Form();
    form.backup = false;
    EXPECT_FALSE(PrepareJob(form, h).files.writesOnlyTemporaries) << "in place";
    form.target = L"C:\\out\\new.exe";
    EXPECT_FALSE(PrepareJob(form, h).files.writesOnlyTemporaries) << "a target it writes itself";
    form.source = omega;
    EXPECT_FALSE(PrepareJob(form, h).files.writesOnlyTemporaries) << "a copy in, a new target out";
    form.target = omega;
    EXPECT_TRUE(PrepareJob(form, h).files.writesOnlyTemporaries) << "a working copy in place";
    form.testFlag = true;
    form.source = kApp;
    EXPECT_TRUE(PrepareJob(form, h).files.writesOnlyTemporaries) << "a test writes nothing";
}

TEST(PrivateCopies, AreMadeWithoutABackupAndTheirFailureRefusesTheFile) {
    FakeHost h;
    h.Put(kApp, "MZ the original");
    auto form = Form();
    form.backup = false;
    form.keepOriginal = true;
    const auto plan = PrepareJob(form, h);
    ASSERT_FALSE(plan.privateCopy.empty());
    EXPECT_EQ(plan.original, plan.privateCopy);
    EXPECT_EQ(h.Content(plan.privateCopy), "MZ the original");
    EXPECT_EQ(FileNamePart(plan.privateCopy).rfind(kPlainNamePrefix, 0), 0u);

    FakeHost full;
    full.Put(kApp, "MZ the original");
    full.copyFails = true;
    EXPECT_EQ(PrepareJob(form, full).way, RunWay::None);
    ASSERT_EQ(full.errors.size(), 1u);
    EXPECT_NE(full.errors[0].find(L"safety copy"), std::wstring::npos);
    EXPECT_EQ(full.files.size(), 2u) << "nothing left behind";
}

}  // namespace
}  // namespace zandrel::test
