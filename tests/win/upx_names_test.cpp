// Files whose names UPX cannot spell, done for real: the stand-in reads its
// command line through the ANSI code page as UPX does, so these jobs only
// work through the names Zandrel gives it.
#include <gtest/gtest.h>

#include "packed_format.h"
#include "app/descrambler.h"
#include "framework/files.h"
#include "console/DosCommand.h"
#include "jobs/job_host.h"
#include "jobs/run_and_wait.h"
#include "test_support.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

bool IsPacked(const std::string& bytes) { return standin::IsPacked(bytes); }

std::string Read(const std::wstring& path) { return ReadBytes(ApiPath(path)); }

void Write(const std::wstring& path, const std::string& bytes) { WriteBytes(ApiPath(path), bytes); }

// Every file below a folder, by its path from there: nothing is missed in a folder above the file's.
std::set<std::wstring> AllFiles(const std::wstring& root, const std::wstring& prefix = {}) {
    std::set<std::wstring> files;
    for (const auto& name : Listing(root)) {
        const auto path = root + L"\\" + name;
        if (GetFileAttributesW(ApiPath(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            files.merge(AllFiles(path, prefix + name + L"\\"));
        else
            files.insert(prefix + name);
    }
    return files;
}

// Where the file lies: a name or a folder the code page cannot spell, or a path too long for UPX.
struct Place {
    const char* what;
    std::wstring folder;  // below the test's temp folder; "" for the temp folder itself
    std::wstring stem;    // the file's name without ".exe"
};

class NamesUpxCannotSpell : public MainWindowTest, public ::testing::WithParamInterface<std::tuple<Place, bool>> {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        const auto& [place, withShortNames] = GetParam();
        shortNames = withShortNames;
        realConsole = true;
        MakeWindow(&real);
        UseStandin(*form);
        form->chkDosBox.Click();  // hidden: no linger
        form->chkBackup.Click();  // off: the folder holds only what the job made
        folder = dir.Path();
        for (std::size_t start = 0; start < place.folder.size();) {
            const auto end = std::min(place.folder.find(L'\\', start), place.folder.size());
            folder += L"\\" + place.folder.substr(start, end - start);
            ASSERT_TRUE(CreateDirectoryW(ApiPath(folder).c_str(), nullptr));
            start = end + 1;
        }
        source = folder + L"\\" + place.stem + L".exe";
        Write(source, content);
    }
    std::wstring Named(const std::wstring& suffix) const { return folder + L"\\" + std::get<0>(GetParam()).stem + suffix; }
    // The files below the test's folder, by their names in the file's folder.
    std::set<std::wstring> Files() const {
        std::set<std::wstring> names;
        const auto below = std::get<0>(GetParam()).folder;
        for (auto path : AllFiles(dir.Path())) {
            if (!below.empty() && path.rfind(below + L"\\", 0) == 0) path = path.substr(below.size() + 1);
            names.insert(path);
        }
        return names;
    }
    void Run(const std::wstring& from, const std::wstring& to, bool decompress) {
        form->rbDecompress.SetChecked(decompress);
        form->rbCompress.SetChecked(!decompress);
        form->edSource.SetText(from);
        form->edTarget.SetText(to);
        form->btnStart.Click();
    }
    std::vector<std::wstring> Captured(Button& button) {
        form->edSource.SetText(source);
        button.Click();
        EXPECT_TRUE(WaitIdle(form->DosCommand1));
        messageOutput->Flush();
        std::vector<std::wstring> lines;
        std::wstring text = messageOutput->memOutput.Text();
        for (std::size_t start = 0; start <= text.size();) {
            const auto end = std::min(text.find(L"\r\n", start), text.size());
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    ProcessRunAndWait real;
    TempDir dir{L"zn"};
    std::wstring folder, source;
    std::string content = std::string("MZ\x90\0\3 the user's program \xff end", 28);
};

TEST_P(NamesUpxCannotSpell, EveryJobDoneUnderTheRightNameWithNothingLeftBehind) {
    const auto name = source.substr(source.rfind(L'\\') + 1);
    const auto packed = Named(L"-packed.exe"), restored = Named(L"-restored.exe");
    const auto packedName = packed.substr(packed.rfind(L'\\') + 1);
    const auto restoredName = restored.substr(restored.rfind(L'\\') + 1);

    // In place, there and back.
    Run(source, source, false);
    EXPECT_TRUE(IsPacked(Read(source))) << "compressed in place";
    EXPECT_EQ(Files(), std::set<std::wstring>{name});
    Run(source, source, true);
    EXPECT_EQ(Read(source), content) << "decompressed in place";
    EXPECT_EQ(Files(), std::set<std::wstring>{name});

    // To other names, there and back; the source is left alone.
    Run(source, packed, false);
    EXPECT_EQ(Read(source), content);
    EXPECT_TRUE(IsPacked(Read(packed)));
    Run(packed, restored, true);
    EXPECT_EQ(Read(restored), content);
    EXPECT_TRUE(IsPacked(Read(packed)));
    EXPECT_EQ(Files(), (std::set<std::wstring>{name, packedName, restoredName}));
    EXPECT_TRUE(dialogs.boxes.empty()) << Narrow(dialogs.Texts().empty() ? L"" : dialogs.Texts()[0]);

    // Test and List read the file; the console window says which file UPX's output is about.
    source = packed;
    const auto tested = Captured(form->btnTest);
    ASSERT_GE(tested.size(), 2u);
    EXPECT_EQ(tested[0].rfind(Message(texts::NoteUpxName1) + packed + Message(texts::NoteUpxName2), 0), 0u)
        << Narrow(tested[0]);
    EXPECT_TRUE(std::any_of(tested.begin(), tested.end(), [](const auto& l) { return l.find(L"[OK]") != l.npos; }));
    const auto listed = Captured(form->btnList);
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [](const auto& l) { return l.find(L"level 6") != l.npos; }));
    EXPECT_EQ(Files(), (std::set<std::wstring>{name, packedName, restoredName}));
    EXPECT_TRUE(dialogs.boxes.empty());

    // The backup and the replace question work on the real names.
    source = folder + L"\\" + name;
    form->chkBackup.SetChecked(true);
    dialogs.answers = {BoxAnswer::Yes};
    Run(source, restored, false);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::AskReplace)});
    EXPECT_TRUE(IsPacked(Read(restored))) << "replaced by the new result";
    EXPECT_EQ(Read(Named(L"_zandrel_bak.exe")), content);
    EXPECT_EQ(Files().size(), 4u);
}

TEST_P(NamesUpxCannotSpell, AFailingUpxLeavesTheFileAsItWas) {
    const auto name = source.substr(source.rfind(L'\\') + 1);
    const auto old = Named(L"-old.exe");
    const auto oldName = old.substr(old.rfind(L'\\') + 1);
    Write(old, "an older result");
    {
        EnvSwitch fail(L"STANDIN_FAIL_WRITE", L"1");
        Run(source, source, false);
        Run(source, Named(L"-packed.exe"), false);
        // An existing target the user agreed to replace is replaced only by a finished result.
        dialogs.answers = {BoxAnswer::Yes};
        Run(source, old, false);
        EXPECT_EQ(Read(old), "an older result");
        ASSERT_EQ(dialogs.Texts().size(), 4u);
        EXPECT_EQ(dialogs.Texts()[2], Message(texts::AskReplace));
        dialogs.boxes.erase(dialogs.boxes.begin() + 2);
        DeleteFileW(ApiPath(old).c_str());
    }
    {
        // UPX did the work but reported an error: its result is not taken either.
        EnvSwitch exit(L"STANDIN_EXIT", L"1");
        Run(source, source, false);
    }
    EXPECT_EQ(Read(source), content);
    EXPECT_EQ(Files(), std::set<std::wstring>{name});
    ASSERT_EQ(dialogs.Texts().size(), 4u);
    for (const auto& text : dialogs.Texts()) {
        EXPECT_EQ(text.rfind(Message(texts::MsgJobError), 0), 0u) << Narrow(text);
        // UPX's reason names the file UPX was given; the user is shown the real one.
        EXPECT_EQ(text.find(L"~zandrel"), std::wstring::npos) << Narrow(text);
    }
    EXPECT_NE(dialogs.Texts()[0].find(L"\n\nUPX: IOException: cannot write " + source), std::wstring::npos)
        << Narrow(dialogs.Texts()[0]);

    // A program that is not UPX is never started: no working copy is even made.
    TempDir elsewhere;
    Write(elsewhere / L"notaprogram.exe", "plain text");
    form->edUPX.SetText(elsewhere / L"notaprogram.exe");
    Run(source, source, false);
    EXPECT_NE(dialogs.Texts().back().find(L"is not UPX: it is not a program."), std::wstring::npos);
    EXPECT_EQ(Read(source), content);
    EXPECT_EQ(Files(), std::set<std::wstring>{name});
}

const Place kPlaces[] = {
    {"Greek name", L"", L"\u03a9mega"},
    {"Japanese name", L"", L"\u65e5\u672c"},
    {"Greek folder", L"\u03c6\u03ac\u03ba\u03b5\u03bb\u03bf\u03c2", L"app"},
    {"Japanese folder with a Greek name", L"\u65e5\u672c", L"\u03a9mega"},
};

INSTANTIATE_TEST_SUITE_P(Places, NamesUpxCannotSpell,
                         ::testing::Combine(::testing::ValuesIn(kPlaces), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).what;
                             name += std::get<1>(info.param) ? " with short names" : " without short names";
                             for (auto& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// A path of over 300 characters: longer than UPX can open. Its short form is short enough.
std::wstring DeepFolder() {
    std::wstring deep;
    for (int i = 0; i < 7; ++i) deep += (i ? L"\\" : L"") + std::wstring(L"a-rather-long-folder-name-for-testing");
    return deep;
}
const Place kDeep[] = {{"path of 300 characters", DeepFolder(), L"app"}};

INSTANTIATE_TEST_SUITE_P(LongPath, NamesUpxCannotSpell,
                         ::testing::Combine(::testing::ValuesIn(kDeep), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<1>(info.param) ? "with_short_names" : "without_short_names");
                         });

// UPX leaves a file it rewrites under the name it was given: an 8.3 alias of
// the source would rename it. The job goes through a working copy instead.
TEST_F(MainWindowTest, AJobInPlaceOnAShortNameKeepsTheFilesOwnName) {
    ProcessRunAndWait real;
    MakeWindow(&real);
    TempDir dir(L"zn");
    const auto source = dir / L"my long program name.exe";
    Write(source, "MZ the user's program");
    wchar_t shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(source.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), source);
    UseStandin(*form);
    form->chkDosBox.Click();
    form->chkBackup.Click();
    form->edSource.SetText(shortName);
    form->btnStart.Click();
    EXPECT_EQ(Listing(dir.Path()), std::set<std::wstring>{L"my long program name.exe"});
    EXPECT_TRUE(IsPacked(Read(source)));
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The stand-in fails as UPX for Windows does, which is what makes the tests above mean something.
TEST(StandIn, BehavesLikeUpxForWindowsWithNames) {
    TempDir dir(L"zs");
    const auto omega = dir / L"\u03a9mega.exe";
    Write(omega, standin::Pack("MZ packed", 6));
    TDosCommand upx;
    upx.CommandLine = L"\"" + StandinPath() + L"\" -t \"" + omega + L"\"";
    upx.Execute();
    ASSERT_TRUE(WaitIdle(upx));
    EXPECT_EQ(upx.ExitCode(), 1u) << "a name outside the code page is not found";
    ASSERT_FALSE(upx.CapturedLines.empty());
    EXPECT_NE(upx.CapturedLines.back().find("FileNotFoundException"), std::string::npos) << upx.CapturedLines.back();
    EXPECT_EQ(upx.OutputReturnCode(), TReturnCode::rcCRLF);

    // It prints names in the ANSI code page: \u00dc is the one byte 0xDC.
    const auto uebung = dir / L"\u00dcbung.exe";
    Write(uebung, standin::Pack("MZ packed", 6));
    upx.CommandLine = L"\"" + StandinPath() + L"\" -l \"" + uebung + L"\"";
    upx.Execute();
    ASSERT_TRUE(WaitIdle(upx));
    EXPECT_EQ(upx.ExitCode(), 0u);
    EXPECT_TRUE(std::any_of(upx.CapturedLines.begin(), upx.CapturedLines.end(),
                            [](const std::string& l) { return l.find("\xDC" "bung.exe") != std::string::npos; }));

    // In place on a short name, the file ends up under that name, as measured with UPX.
    wchar_t shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(omega.c_str(), shortName, MAX_PATH), 0u);
    upx.CommandLine = L"\"" + StandinPath() + L"\" -d \"" + shortName + L"\"";
    upx.Execute();
    ASSERT_TRUE(WaitIdle(upx));
    EXPECT_EQ(upx.ExitCode(), 0u);
    const auto shortPart = std::wstring(shortName).substr(std::wstring(shortName).rfind(L'\\') + 1);
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{shortPart, L"\u00dcbung.exe"}));
}

// Which names survive the code page: by what each code page holds.
TEST(StandIn, NamesThatSurviveACodePage) {
    EXPECT_TRUE(SurvivesCodePage(L"C:\\\u00dcbung.exe", 1252));
    EXPECT_FALSE(SurvivesCodePage(L"C:\\\u03a9mega.exe", 1252)) << "best-fit Omega is no survival";
    EXPECT_FALSE(SurvivesCodePage(L"C:\\\u65e5\u672c.exe", 1252));
    EXPECT_TRUE(SurvivesCodePage(L"C:\\\u65e5\u672c \u03a9.exe", 932)) << "Shift-JIS holds both";
    EXPECT_FALSE(SurvivesCodePage(L"C:\\\u00dcbung.exe", 932));
    EXPECT_TRUE(SurvivesCodePage(L"C:\\\u65e5\u672c \u03a9 \u00dc.exe", CP_UTF8)) << "UTF-8 holds every name";
    EXPECT_FALSE(SurvivesCodePage(std::wstring(L"C:\\") + wchar_t(0xD800) + L".exe", CP_UTF8)) << "a lone surrogate";
}

}  // namespace
}  // namespace zandrel::test
