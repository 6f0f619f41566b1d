// Files whose names UPX cannot spell: what UPX is given, and what Start does
// around the run so that the user's files keep their names and contents.
#include <gtest/gtest.h>

#include "fake_job_host.h"
#include "jobs/upx_names.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

const std::wstring kOmega = L"C:\\src\\\u03a9mega.exe";
const std::wstring kGreekFolder = L"C:\\\u03b1\u03b2\u03b3";

std::wstring Temp(const std::wstring& folder, unsigned n) { return folder + L"\\" + PlainTempName(7, n, L"x.exe"); }

JobPlan Prepare(FakeHost& h, const std::wstring& source, const std::wstring& target, bool test = false) {
    h.files.insert(source);
    auto f = Form();
    f.source = source;
    f.target = target;
    f.backup = false;
    f.testFlag = test;
    return PrepareJob(f, h);
}

TEST(UpxNames, NamesUpxCanUseStayExactlyAsTheyAre) {
    FakeHost h;
    h.folders.insert(L"C:\\\u00dcbung");
    const auto source = L"C:\\\u00dcbung\\s\u00e9r.exe";  // Latin letters the ANSI code page has
    auto plan = Prepare(h, source, L"C:\\out\\r\u00e9sultat.exe");
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"" + std::wstring(source) +
                                    L"\" -o \"C:\\out\\r\u00e9sultat.exe\"");
    EXPECT_TRUE(plan.files.temporaries.empty());
    EXPECT_TRUE(plan.files.currentFolder.empty());
    EXPECT_TRUE(plan.files.resultFrom.empty());
    EXPECT_TRUE(h.log.empty());
}

TEST(UpxNames, AJobInPlaceWorksOnAPlainNamedCopyThatReplacesTheFileOnlyOnSuccess) {
    FakeHost h;
    h.shortForms[kOmega] = L"C:\\src\\_MEG~RVQ.EXE";  // never given for a file UPX writes
    const auto plan = Prepare(h, kOmega, kOmega);
    const auto copy = Temp(L"C:\\src", 1);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"" + copy + L"\"");
    EXPECT_EQ(h.log, std::vector<std::wstring>{L"copy-new " + kOmega + L" " + copy});
    // With UPX's own work file beside the copy, should UPX be ended half-way.
    EXPECT_EQ(plan.files.temporaries, (std::vector<std::wstring>{copy, L"C:\\src\\~zandrel-7-1.upx"}));
    EXPECT_EQ(RenamedNotes(plan.files),
              std::vector<std::wstring>{T(texts::NoteUpxName1) + kOmega + T(texts::NoteUpxName2) + copy + L"."});

    // UPX failed or warned: nothing is moved, no message but UPX's.
    for (const RunOutcome& failed : {RunOutcome{0, 1}, RunOutcome{0, 2}, RunOutcome{2, 0}}) {
        h.log.clear(), h.errors.clear();
        FinishJob(plan, failed, h);
        EXPECT_TRUE(h.log.empty()) << failed.exitCode;
        EXPECT_EQ(h.errors.size(), 1u);
    }
    // Success: the finished copy takes the file's place.
    h.log.clear(), h.errors.clear();
    FinishJob(plan, {0, 0}, h);
    EXPECT_EQ(h.log, std::vector<std::wstring>{L"move " + copy + L" " + kOmega});
    EXPECT_TRUE(h.errors.empty());
    // A result that cannot be put in place says so and leaves the file alone.
    FakeHost stuck;
    stuck.Put(kOmega, "MZ the user's file");
    const auto again = Prepare(stuck, kOmega, kOmega);
    stuck.Put(again.files.resultFrom, "packed by UPX");
    stuck.unmovable.insert(again.files.resultFrom);
    FinishJob(again, {0, 0}, stuck);
    EXPECT_EQ(stuck.errors, std::vector<std::wstring>{T(texts::MsgResultNotPut1) + kOmega + T(texts::MsgResultNotPut2)});
    EXPECT_EQ(stuck.Content(kOmega), "MZ the user's file") << "the file is left as it was";
}

TEST(UpxNames, AFileUpxOnlyReadsGoesByItsShortFormWhenItHasOne) {
    FakeHost h;
    h.shortForms[kOmega] = L"C:\\src\\_MEG~RVQ.EXE";
    auto plan = Prepare(h, kOmega, L"", true);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -t \"C:\\src\\_MEG~RVQ.EXE\"");
    EXPECT_TRUE(plan.files.temporaries.empty());
    EXPECT_TRUE(h.log.empty()) << "no copy";
    EXPECT_EQ(plan.files.renamed.size(), 1u);

    // Without short names (switched off on the volume): a plain-named copy beside it.
    FakeHost none;
    plan = Prepare(none, kOmega, L"", true);
    const auto copy = Temp(L"C:\\src", 1);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -t \"" + copy + L"\"");
    EXPECT_EQ(plan.files.temporaries, std::vector<std::wstring>{copy});
    EXPECT_TRUE(plan.files.resultFrom.empty()) << "nothing comes back from a test";
}

TEST(UpxNames, ToAnotherNameUpxWritesAPlainNameThatIsMovedOntoTheTarget) {
    FakeHost h;
    h.shortForms[kOmega] = L"C:\\src\\_MEG~RVQ.EXE";
    const std::wstring target = L"C:\\out\\\u65e5\u672c.exe";
    h.shortForms[target] = L"C:\\out\\XXXX~1.EXE";  // not there yet in life; never used anyway
    const auto plan = Prepare(h, kOmega, target);
    const auto output = Temp(L"C:\\out", 1);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"C:\\src\\_MEG~RVQ.EXE\" -o \"" + output + L"\"");
    EXPECT_TRUE(h.log.empty()) << "UPX makes the output itself";
    EXPECT_EQ(plan.files.temporaries, std::vector<std::wstring>{output});
    h.files.insert(output);
    FinishJob(plan, {0, 0}, h);
    EXPECT_EQ(h.log, std::vector<std::wstring>{L"move " + output + L" " + target});

    // A source without a short form is copied to the target's folder, where UPX writes.
    FakeHost none;
    const auto plan2 = Prepare(none, kOmega, L"C:\\out\\plain.exe");
    const auto copy = Temp(L"C:\\out", 1);
    EXPECT_EQ(plan2.commandLine, L"C:\\upx\\upx.exe -6 \"" + copy + L"\" -o \"C:\\out\\plain.exe\"");
    EXPECT_TRUE(plan2.files.resultFrom.empty()) << "the target's own name is usable";
}

TEST(UpxNames, AFolderUpxCannotSpellIsReachedByItsShortFormOrAsUpxsCurrentFolder) {
    FakeHost h;
    h.folders.insert(kGreekFolder);
    h.shortForms[kGreekFolder] = L"C:\\ABG~1";
    const auto source = kGreekFolder + L"\\app.exe";
    auto plan = Prepare(h, source, source);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"" + Temp(L"C:\\ABG~1", 1) + L"\"");
    EXPECT_EQ(plan.files.resultTo, source);
    EXPECT_TRUE(plan.files.currentFolder.empty());

    // No short names: UPX starts in the folder and is given a bare name.
    FakeHost none;
    none.folders.insert(kGreekFolder);
    plan = Prepare(none, source, source);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"" + PlainTempName(7, 1, L"x.exe") + L"\"");
    EXPECT_EQ(plan.files.currentFolder, kGreekFolder);
    EXPECT_EQ(plan.files.resultFrom, Temp(kGreekFolder, 1));
    EXPECT_EQ(plan.files.resultTo, source);
}

TEST(UpxNames, LongPathsGoByTheirShortFormsOrThroughTheNearestFolderUpxReaches) {
    std::wstring deep = L"C:";
    while (deep.size() < 300) deep += L"\\a-rather-long-folder-name";
    const auto source = deep + L"\\app.exe";
    FakeHost h;
    h.folders.insert(deep);
    h.shortForms[source] = L"C:\\A-RATH~1\\A-RATH~1\\A-RATH~1\\APP.EXE";
    h.shortForms[deep] = L"C:\\A-RATH~1\\A-RATH~1\\A-RATH~1";
    auto plan = Prepare(h, source, L"", true);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -t \"C:\\A-RATH~1\\A-RATH~1\\A-RATH~1\\APP.EXE\"");
    plan = Prepare(h, source, source);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"C:\\A-RATH~1\\A-RATH~1\\A-RATH~1\\" +
                                    PlainTempName(7, 1, L"x.exe") + L"\"");

    // Without short names the working copy goes up to the nearest folder UPX can
    // name (same volume: the finished result is renamed into place, not copied).
    FakeHost none;
    none.folders.insert(deep);
    plan = Prepare(none, source, source);
    std::wstring reached = deep;
    while (reached.size() + 1 + kPlainNameLength + kUpxTempRoom > kUpxPathLimit)
        reached = reached.substr(0, reached.find_last_of(L'\\'));
    const auto copy = Temp(reached, 1);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"" + copy + L"\"");
    EXPECT_EQ(plan.files.resultFrom, copy);
    EXPECT_EQ(plan.files.resultTo, source);
    EXPECT_TRUE(none.errors.empty());
}

TEST(UpxNames, AnAliasOfTheSourceIsNeverGivenForAJobInPlace) {
    // UPX would leave the file under the name it was given: the short one.
    FakeHost h;
    const std::wstring alias = L"C:\\src\\MYPROG~1.EXE", real = L"C:\\src\\My Program.exe";
    h.files.insert(real);
    h.identity[alias] = real;
    h.longForms[alias] = real;
    auto plan = Prepare(h, alias, alias);
    const auto copy = L"C:\\src\\" + PlainTempName(7, 1, alias);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -6 \"" + copy + L"\"");
    EXPECT_EQ(plan.files.resultTo, real) << "the result takes the file's own name";
    // Only read, the alias is fine as it is.
    plan = Prepare(h, alias, L"", true);
    EXPECT_EQ(plan.commandLine, L"C:\\upx\\upx.exe -t \"" + alias + L"\"");
    // The path's long form cannot be told (the system gives nothing back): the name's own
    // search still tells the alias.
    h.longPathFails = true;
    plan = Prepare(h, alias, alias);
    EXPECT_EQ(plan.commandLine.find(alias), std::wstring::npos) << "a working copy, not the alias";
    EXPECT_EQ(plan.files.resultTo, real);
}

TEST(UpxNames, AnExistingTargetIsReplacedOnlyByAFinishedResult) {
    FakeHost h;
    const std::wstring target = L"C:\\out\\\u65e5\u672c.exe";
    h.files.insert(target);
    h.answerReplace = true;
    const auto plan = Prepare(h, L"C:\\src\\app.exe", target);
    EXPECT_EQ(h.questions, std::vector<std::wstring>{T(texts::AskReplace)});
    EXPECT_TRUE(h.files.count(target)) << "not deleted before the run";
    EXPECT_TRUE(h.log.empty());
    FinishJob(plan, {0, 1}, h);
    EXPECT_TRUE(h.files.count(target)) << "a failed job leaves it";
    // A read-only target is made replaceable when the result is there, and keeps
    // its attributes when the move fails all the same.
    const auto output = Temp(L"C:\\out", 1);
    h.files.insert(output);
    h.readOnly.insert(target);
    h.hidden.insert(target);
    h.unmovable.insert(output);  // every move fails
    h.log.clear(), h.errors.clear();
    FinishJob(plan, {0, 0}, h);
    const auto attributes = [&](std::uint32_t a) { return L"attributes " + target + L" " + std::to_wstring(a); };
    EXPECT_EQ(h.log, (std::vector<std::wstring>{L"move " + output + L" " + target, attributes(kArchive),
                                                L"move " + output + L" " + target,
                                                attributes(kReadOnly | kHidden | kArchive)}));
    EXPECT_EQ(h.Attributes(target), kReadOnly | kHidden | kArchive);
    EXPECT_EQ(h.errors, std::vector<std::wstring>{T(texts::MsgResultNotPut1) + target + T(texts::MsgResultNotPut2)});
    // Once it can be moved, it is.
    h.unmovable.clear();
    h.log.clear();
    FinishJob(plan, {0, 0}, h);
    EXPECT_FALSE(h.FileExists(output));
}

TEST(UpxNames, NoFreePlainNameStopsTheJobBeforeAnythingIsTouched) {
    FakeHost h;
    h.noFreeNames = true;
    h.files.insert(kOmega);
    auto f = Form();
    f.source = f.target = kOmega;
    EXPECT_EQ(PrepareJob(f, h).way, RunWay::None);
    EXPECT_EQ(h.errors, std::vector<std::wstring>{T(texts::MsgNoWorkCopy)});
    EXPECT_TRUE(h.log.empty()) << "no backup, no copy";
}

TEST(UpxNames, TheLengthUpxCanOpenLeavesRoomForItsOwnTemporaryFile) {
    FakeHost h;
    const std::wstring folder = L"C:\\" + std::wstring(kUpxPathLimit - kUpxTempRoom - 4, L'f');
    EXPECT_TRUE(UpxCanUse(folder + L"\\a.exe", h)) << folder.size();
    EXPECT_FALSE(UpxCanUse(folder + L"f\\a.exe", h)) << "no room for UPX's temporary file in the folder";
    const std::wstring longName = L"C:\\" + std::wstring(kUpxPathLimit - 3, L'n');
    EXPECT_TRUE(UpxCanUse(longName, h));
    EXPECT_FALSE(UpxCanUse(longName + L"n", h));
    EXPECT_FALSE(UpxCanUse(L"C:\\\u03a9.exe", h));
    EXPECT_FALSE(UpxCanUse(L"", h));
}

TEST(UpxNames, PlainTemporaryNamesAreAsciiAndKeepAPlainExtension) {
    EXPECT_EQ(PlainTempName(123456, 7, L"C:\\x\\\u03a9.dll"), L"~zandrel-23456-7.dll");
    EXPECT_EQ(PlainTempName(1, 1002, L"C:\\x.y\\prog"), L"~zandrel-1-2.tmp");
    EXPECT_EQ(PlainTempName(1, 1, L"C:\\x\\a.\u00e9x\u00e9"), L"~zandrel-1-1.tmp");
    EXPECT_EQ(PlainTempName(1, 1, L"C:\\x\\a.longext"), L"~zandrel-1-1.tmp");
    EXPECT_LE(PlainTempName(4294967295UL, 999, L"a.exe").size(), kPlainNameLength);
}

TEST(UpxNames, AWorkingCopyThatCannotBeMadeStopsTheJob) {
    FakeHost h;
    h.copyFails = true;
    h.files.insert(kOmega);
    auto f = Form();
    f.source = f.target = kOmega;
    f.backup = false;
    EXPECT_EQ(PrepareJob(f, h).way, RunWay::None);
    EXPECT_EQ(h.errors, std::vector<std::wstring>{T(texts::MsgNoWorkCopy)});
    EXPECT_TRUE(h.files.count(kOmega));
}

}  // namespace
}  // namespace zandrel::test
