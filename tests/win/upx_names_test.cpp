// Files whose names UPX cannot spell, done for real: the stand-in reads its
// command line through the ANSI code page as UPX does, so these jobs only
// work through the names Zandrel gives it.
#include <gtest/gtest.h>

#include "app/descrambler.h"
#include "framework/files.h"
#include "jobs/run_and_wait.h"
#include "test_support.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

bool IsPacked(const std::string& bytes) { return bytes.rfind(std::string("ZSTNDPK\x1A", 8), 0) == 0; }

std::string Read(const std::wstring& path) { return ReadBytes(ApiPath(path)); }

void Write(const std::wstring& path, const std::string& bytes) { WriteBytes(ApiPath(path), bytes); }

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
        form->edUPX.SetText(StandinPath());
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
    EXPECT_EQ(Listing(folder), std::set<std::wstring>{name});
    Run(source, source, true);
    EXPECT_EQ(Read(source), content) << "decompressed in place";
    EXPECT_EQ(Listing(folder), std::set<std::wstring>{name});

    // To other names, there and back; the source is left alone.
    Run(source, packed, false);
    EXPECT_EQ(Read(source), content);
    EXPECT_TRUE(IsPacked(Read(packed)));
    Run(packed, restored, true);
    EXPECT_EQ(Read(restored), content);
    EXPECT_TRUE(IsPacked(Read(packed)));
    EXPECT_EQ(Listing(folder), (std::set<std::wstring>{name, packedName, restoredName}));
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
    EXPECT_EQ(Listing(folder), (std::set<std::wstring>{name, packedName, restoredName}));
    EXPECT_TRUE(dialogs.boxes.empty());

    // The backup and the replace question work on the real names.
    source = folder + L"\\" + name;
    form->chkBackup.SetChecked(true);
    dialogs.answers = {BoxAnswer::Yes};
    Run(source, restored, false);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{Message(texts::AskReplace)});
    EXPECT_TRUE(IsPacked(Read(restored))) << "replaced by the new result";
    EXPECT_EQ(Read(Named(L"_zandrel_bak.exe")), content);
    EXPECT_EQ(Listing(folder).size(), 4u);
}

TEST_P(NamesUpxCannotSpell, AFailingUpxLeavesTheFileAsItWas) {
    const auto name = source.substr(source.rfind(L'\\') + 1);
    {
        EnvSwitch fail(L"STANDIN_FAIL_WRITE", L"1");
        Run(source, source, false);
        Run(source, Named(L"-packed.exe"), false);
    }
    {
        // UPX did the work but reported an error: its result is not taken either.
        EnvSwitch exit(L"STANDIN_EXIT", L"1");
        Run(source, source, false);
    }
    EXPECT_EQ(Read(source), content);
    EXPECT_EQ(Listing(folder), std::set<std::wstring>{name});
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>(3, Message(texts::MsgJobError)));

    // A UPX that cannot even start: the working copy goes too.
    TempDir elsewhere;
    Write(elsewhere / L"notaprogram.exe", "plain text");
    form->edUPX.SetText(elsewhere / L"notaprogram.exe");
    Run(source, source, false);
    EXPECT_EQ(dialogs.Texts().back(), Message(texts::MsgStartFailed));
    EXPECT_EQ(Read(source), content);
    EXPECT_EQ(Listing(folder), std::set<std::wstring>{name});
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
                         ::testing::Combine(::testing::ValuesIn(kDeep), ::testing::Values(true)),
                         [](const auto&) { return std::string("with_short_names"); });

// Without short names such a folder cannot be reached at all: a clear no, and nothing touched.
TEST_F(MainWindowTest, APathTooLongForUpxWithoutShortFormIsRefusedUntouched) {
    shortNames = false;
    try { MakeWindow(); } catch (const Error& e) { ADD_FAILURE() << Narrow(e.Message()); return; }
    TempDir dir(L"zn");
    std::wstring folder = dir.Path() + L"\\" + DeepFolder();
    for (std::size_t at = dir.Path().size() + 1; at != std::wstring::npos; at = folder.find(L'\\', at + 1))
        CreateDirectoryW(ApiPath(folder.substr(0, folder.find(L'\\', at + 1))).c_str(), nullptr);
    const auto source = folder + L"\\app.exe";
    Write(source, "MZ original");
    form->edUPX.SetText(StandinPath());
    form->edSource.SetText(source);
    form->btnStart.Click();
    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::wstring>{Message(texts::MsgNoUpxFolder1) + folder + Message(texts::MsgNoUpxFolder2)});
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(Listing(folder), std::set<std::wstring>{L"app.exe"}) << "no backup, no copy";
    EXPECT_EQ(Read(source), "MZ original");
}

}  // namespace
}  // namespace zandrel::test
