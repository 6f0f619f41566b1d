#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/descrambler.h"
#include "fake_job_host.h"
#include "jobs/job_command.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

TEST(JobCommand, LevelAndQuietSwitchesForEveryCombination) {
    const std::vector<std::wstring> levels{L"best", L"9", L"8", L"7", L"6", L"5", L"4", L"3", L"2", L"1"};
    for (const auto& level : levels) {
        for (int quiet = 0; quiet < 4; ++quiet) {
            auto f = Form();
            f.level = level;
            f.q = quiet == 1, f.qq = quiet == 2, f.qqq = quiet == 3;
            const std::wstring q = quiet == 0 ? L"" : quiet == 1 ? L" -q" : quiet == 2 ? L" -qq" : L" -qqq";
            const std::wstring sw = level == L"best" ? L"--best" : L"-" + level;

            FakeHost h;
            f.backup = false;
            auto plan = PrepareJob(f, h);
            EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe " + sw + q + L" \"C:\\src\\app.exe\"");
            EXPECT_EQ(plan.way, RunWay::Visible);

            FakeHost h2;
            f.target = L"C:\\out\\packed.exe";
            f.dosBox = false;
            plan = PrepareJob(f, h2);
            EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe " + sw + q +
                                            L" \"C:\\src\\app.exe\" -o \"C:\\out\\packed.exe\"");
            EXPECT_EQ(plan.way, RunWay::Hidden);
            EXPECT_TRUE(h.errors.empty() && h2.errors.empty());
        }
    }
}

TEST(JobCommand, DecompressTestAndListIgnoreTheLevel) {
    FakeHost h;
    auto f = Form();
    f.level = L"best";
    f.decompress = true;
    f.qq = true;
    EXPECT_EQ(PrepareJob(f, h).commandLine, L"C:\\upx\\upx.exe -d -qq \"C:\\src\\app.exe\"");

    f.target = L"C:\\out\\plain.exe";
    EXPECT_EQ(PrepareJob(f, h).commandLine,
              L"C:\\upx\\upx.exe -d -qq \"C:\\src\\app.exe\" -o \"C:\\out\\plain.exe\"");

    // Test and List win over the radio buttons and never name the target.
    f.testFlag = true;
    auto plan = PrepareJob(f, h);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -t -qq \"C:\\src\\app.exe\"");
    EXPECT_EQ(plan.way, RunWay::Console);
    f.testFlag = false;
    f.listFlag = true;
    f.qq = false;
    EXPECT_EQ(PrepareJob(f, h).commandLine, L"C:\\upx\\upx.exe -l \"C:\\src\\app.exe\"");
}

TEST(JobCommand, ChecksRunInOrderAndTouchNothing) {
    struct Case {
        const char* what;
        void (*breakIt)(JobForm&);
        std::span<const std::uint8_t> message;
    };
    const Case cases[] = {
        {"empty upx", [](JobForm& f) { f.upx.clear(), f.source.clear(), f.level.clear(); }, texts::MsgNoUpx},
        {"upx is a folder", [](JobForm& f) { f.upx = L"C:\\upx"; }, texts::MsgNoUpx},
        {"missing source", [](JobForm& f) { f.source = L"C:\\src\\gone.exe"; f.target.clear(); }, texts::MsgNoSource},
        {"source is a folder", [](JobForm& f) { f.source = L"C:\\src"; }, texts::MsgNoSource},
        {"empty target", [](JobForm& f) { f.target.clear(); f.level.clear(); }, texts::MsgNoTarget},
        {"missing folder", [](JobForm& f) { f.target = L"C:\\nowhere\\x.exe"; }, texts::MsgNoTargetDir},
        {"bare name", [](JobForm& f) { f.target = L"x.exe"; }, texts::MsgNoTargetDir},
        {"ends in separator", [](JobForm& f) { f.target = L"C:\\out\\"; }, texts::MsgNoTargetName},
        {"no level", [](JobForm& f) { f.level.clear(); }, texts::MsgNoLevel},
    };
    for (const auto& c : cases) {
        FakeHost h;
        auto f = Form();
        c.breakIt(f);
        const auto plan = PrepareJob(f, h);
        EXPECT_EQ(plan.way, RunWay::None) << c.what;
        ASSERT_EQ(h.errors.size(), 1u) << c.what;
        EXPECT_EQ(h.errors[0], T(c.message)) << c.what;
        EXPECT_TRUE(h.log.empty()) << c.what << ": the disk was touched";
    }
}

TEST(JobCommand, TestAndListSkipTheTargetChecksButNotTheLevel) {
    FakeHost h;
    auto f = Form();
    f.target.clear();
    f.testFlag = true;
    EXPECT_EQ(PrepareJob(f, h).way, RunWay::Console);
    f.level.clear();
    EXPECT_EQ(PrepareJob(f, h).way, RunWay::None);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], T(texts::MsgNoLevel));
    EXPECT_TRUE(h.log.empty()) << "test and list make no backup";
}

TEST(JobCommand, TargetInADriveRootIsAccepted) {
    FakeHost h;
    auto f = Form();
    f.backup = false;
    f.target = L"C:\\packed.exe";
    EXPECT_EQ(PrepareJob(f, h).way, RunWay::Visible);
}

TEST(JobCommand, BackupNames) {
    EXPECT_EQ(BackupName(L"C:\\a\\prog"), L"C:\\a\\prog_zandrel_bak");
    EXPECT_EQ(BackupName(L"C:\\a\\a.b.dll"), L"C:\\a\\a.b_zandrel_bak.dll");
    EXPECT_EQ(BackupName(L"C:\\dir.v2\\prog"), L"C:\\dir.v2\\prog_zandrel_bak");
    EXPECT_EQ(BackupName(L"C:\\a\\app.exe"), L"C:\\a\\app_zandrel_bak.exe");
}

TEST(JobCommand, BackupIsMadeBeforeTheRunAndItsFailureAsks) {
    FakeHost h;
    auto f = Form();
    h.Put(f.source, "MZ the original");
    auto plan = PrepareJob(f, h);
    EXPECT_EQ(plan.way, RunWay::Visible);
    // Written under a plain name, then moved where no file is.
    const std::wstring copy = L"C:\\src\\" + PlainTempName(7, 1, L"app.exe");
    EXPECT_EQ(h.log, (std::vector<std::wstring>{L"copy-new C:\\src\\app.exe " + copy,
                                                L"move-new " + copy + L" C:\\src\\app_zandrel_bak.exe"}));
    EXPECT_EQ(h.Content(L"C:\\src\\app_zandrel_bak.exe"), "MZ the original");
    EXPECT_EQ(plan.original, L"C:\\src\\app_zandrel_bak.exe");

    FakeHost no;
    no.copyFails = true;
    EXPECT_EQ(PrepareJob(f, no).way, RunWay::None);
    ASSERT_EQ(no.questions.size(), 1u);
    EXPECT_EQ(no.questions[0], T(texts::AskNoBackup));

    FakeHost yes;
    yes.copyFails = true;
    yes.answerBackup = true;
    EXPECT_EQ(PrepareJob(f, yes).way, RunWay::Visible);
}

TEST(JobCommand, ExistingTargetIsReplacedOnlyAfterYes) {
    auto f = Form();
    f.target = L"C:\\out\\old.exe";
    f.backup = false;

    FakeHost cancel;
    cancel.files.insert(f.target);
    EXPECT_EQ(PrepareJob(f, cancel).way, RunWay::None);
    EXPECT_TRUE(cancel.files.count(f.target));
    EXPECT_EQ(cancel.questions, std::vector<std::wstring>{T(texts::AskReplace)});

    FakeHost yes;
    yes.files.insert(f.target);
    yes.readOnly.insert(f.target);
    yes.answerReplace = true;
    auto plan = PrepareJob(f, yes);
    EXPECT_EQ(plan.way, RunWay::Visible);
    EXPECT_FALSE(yes.files.count(f.target));
    EXPECT_EQ(yes.log, (std::vector<std::wstring>{L"delete C:\\out\\old.exe", L"attrib C:\\out\\old.exe",
                                                 L"delete C:\\out\\old.exe"}));

    FakeHost locked;
    locked.files.insert(f.target);
    locked.undeletable.insert(f.target);
    locked.answerReplace = true;
    EXPECT_EQ(PrepareJob(f, locked).way, RunWay::None);
    ASSERT_EQ(locked.errors.size(), 1u);
    EXPECT_EQ(locked.errors[0], L"Failing to delete C:\\out\\old.exe. Please manually delete the file first.");
}

TEST(JobCommand, TheSourceInAnotherSpellingIsNeverDeleted) {
    for (const std::wstring other : {L"c:\\SRC\\APP.EXE", L"C:\\src\\APP~1.EXE", L"C:/src/app.exe",
                                     L"\\\\?\\C:\\src\\app.exe", L"C:\\src\\..\\src\\.\\app.exe"}) {
        FakeHost h;
        h.identity[other] = L"C:\\src\\app.exe";
        h.folders.insert(FolderPart(other));
        h.answerReplace = true;
        auto f = Form();
        f.target = other;
        f.backup = false;
        const auto plan = PrepareJob(f, h);
        EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"C:\\src\\app.exe\"");
        EXPECT_TRUE(h.questions.empty());
        EXPECT_TRUE(h.log.empty());
        EXPECT_TRUE(h.files.count(L"C:\\src\\app.exe"));
    }
}

TEST(JobCommand, ProgramPathWithABlankIsQuoted) {
    FakeHost h;
    h.shortUpx = L"C:\\Program Files\\UPX\\upx.exe";
    auto f = Form();
    f.backup = false;
    EXPECT_EQ(PrepareJob(f, h).commandLine, L"\"C:\\Program Files\\UPX\\upx.exe\" -6 \"C:\\src\\app.exe\"");
    h.shortUpx = L"C:\\PROGRA~1\\UPX\\upx.exe";
    EXPECT_EQ(PrepareJob(f, h).commandLine, L"C:\\PROGRA~1\\UPX\\upx.exe -6 \"C:\\src\\app.exe\"");
}

TEST(JobCommand, PathPieces) {
    EXPECT_EQ(FolderPart(L"C:\\a\\b.exe"), L"C:\\a");
    EXPECT_EQ(FolderPart(L"C:\\b.exe"), L"C:\\");
    EXPECT_EQ(FolderPart(L"b.exe"), L"");
    EXPECT_EQ(FolderPart(L"C:\\a\\"), L"C:\\a");
    EXPECT_EQ(FileNamePart(L"C:\\a\\"), L"");
    EXPECT_EQ(FileNamePart(L"C:b.exe"), L"b.exe");
    EXPECT_EQ(FileNamePart(L"C:\\a\\b.exe"), L"b.exe");
}

TEST(JobCommand, OutcomeMessages) {
    struct Case {
        RunWay way;
        RunOutcome outcome;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {RunWay::Hidden, {0, 0}, {}},
        {RunWay::Hidden, {0, 1}, {T(texts::MsgJobError)}},
        {RunWay::Hidden, {0, 2}, {T(texts::MsgJobWarning)}},
        {RunWay::Hidden, {0, 3}, {L"UPX did not end normally (exit code 3): the file was not processed."}},
        {RunWay::Visible, {0, 0xC000013A}, {L"UPX did not end normally (exit code 0xC000013A): the file was not processed."}},
        {RunWay::Visible, {0, 0}, {}},
        {RunWay::Visible, {0, 1}, {T(texts::MsgJobError)}},
        {RunWay::Visible, {0, 2}, {T(texts::MsgJobWarning)}},
        {RunWay::Visible, {2, 0}, {T(texts::MsgStartFailed)}},
        {RunWay::Hidden, {193, 0}, {T(texts::MsgStartFailed)}},
    };
    for (const auto& c : cases) {
        FakeHost h;
        ReportOutcome(c.way, c.outcome, h);
        EXPECT_EQ(h.errors, c.expected) << int(c.way) << " " << c.outcome.startResult << " " << c.outcome.exitCode;
    }
}

}  // namespace
}  // namespace zandrel::test
