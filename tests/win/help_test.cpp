// The Help button: it opens the help file beside the program, and whenever it cannot, its
// message names the file's full path so that the user can open it some other way.
#include "test_support.h"

#include <filesystem>

#include "app/descrambler.h"
#include "app/globals.h"
#include "framework/registry.h"
#include "launched_program.h"
#include "zandrel_texts.h"

namespace zandrel::test {
namespace {

std::wstring Message(std::span<const std::uint8_t> stored) { return Widen8(BytsToEncStr2(stored)); }

class Help : public MainWindowTest {
protected:
    void TearDown() override {
        DeleteFileW(path.c_str());
        MainWindowTest::TearDown();
    }
    std::wstring path;
};

TEST_F(Help, OpensTheHelpFileAndEveryFailureNamesItsFullPath) {
    MakeWindow();
    path = ExeDir + Message(texts::HelpFileName);
    ASSERT_TRUE(std::filesystem::path(path).is_absolute());
    DeleteFileW(path.c_str());

    // Missing: an information box naming where the file belongs.
    form->btnHelp.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, BoxKind::Information);
    EXPECT_EQ(dialogs.boxes[0].text, Message(texts::MsgHelpMissing) + L"\n" + path);
    EXPECT_EQ(dialogs.beeps, 1);
    EXPECT_TRUE(dialogs.opened.empty());

    // There: the shell opens it, and nothing more is said.
    WriteBytes(path, "<html></html>");
    form->btnHelp.Click();
    EXPECT_EQ(dialogs.opened, std::vector<std::wstring>{path});
    EXPECT_EQ(dialogs.boxes.size(), 1u) << "an opened help file says nothing";

    // No program for HTML files: an error naming the file.
    dialogs.shellAnswer = SE_ERR_NOASSOC;
    form->btnHelp.Click();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].kind, BoxKind::Error);
    EXPECT_EQ(dialogs.boxes[1].text, Message(texts::MsgHelpNoProgram) + L"\n" + path);
    EXPECT_EQ(dialogs.beeps, 2);

    // Any other failure of the shell (here: access denied) is told too, with the file.
    dialogs.shellAnswer = SE_ERR_ACCESSDENIED;
    form->btnHelp.Click();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].kind, BoxKind::Error);
    EXPECT_EQ(dialogs.boxes[2].text, L"Windows could not open the help file (error 5):\n" + path);
    EXPECT_EQ(dialogs.beeps, 3);
}

// For the test's life no program opens .html files: the extension names a class without any
// command (Wine takes file classes from HKLM only).
class NoProgramForHtml {
public:
    NoProgramForHtml() {
        auto extension = RegistryKey::Open(HKEY_LOCAL_MACHINE, kExtension, false);
        hadExtension_ = extension.has_value();
        if (extension) previous_ = extension->ReadString(L"").value_or(L"");
        extension.reset();
        if (auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kExtension, true)) key->WriteString(L"", L"ZandrelTestNoHtml");
        RegistryKey::Open(HKEY_LOCAL_MACHINE, L"Software\\Classes\\ZandrelTestNoHtml", true);
    }
    ~NoProgramForHtml() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\ZandrelTestNoHtml");
        if (!hadExtension_)
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kExtension);
        else if (auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kExtension, true))
            key->WriteString(L"", previous_);
    }

private:
    static constexpr const wchar_t* kExtension = L"Software\\Classes\\.html";
    bool hadExtension_ = false;
    std::wstring previous_;
};

struct FoundText {
    std::wstring wanted;
    HWND found = nullptr;
    std::wstring text;
};

// A child of `parent` whose text contains `part`.
HWND ChildContaining(HWND parent, const std::wstring& part, std::wstring* text = nullptr) {
    FoundText search;
    search.wanted = part;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) {
            auto* s = reinterpret_cast<FoundText*>(data);
            wchar_t buffer[1024] = {};
            SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000, nullptr);
            if (std::wstring(buffer).find(s->wanted) == std::wstring::npos) return TRUE;
            s->found = child;
            s->text = buffer;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (text) *text = search.text;
    return search.found;
}

TEST(HelpOfTheProgram, WithoutAProgramForHtmlTheBoxNamesTheHelpFile) {
    const std::filesystem::path built(ZandrelPath());
    TempDir copy;
    for (const wchar_t* name : {L"zandrel.exe", L"Zandrel.html"})
        ASSERT_TRUE(CopyFileW((built.parent_path() / name).c_str(), (copy / name).c_str(), FALSE));
    NoProgramForHtml none;
    Launched run;
    Launch(run, copy / L"zandrel.exe", L"", copy.Path());
    const HWND main = FindMainWindow(run.pi.dwProcessId);
    ASSERT_TRUE(main);
    PostMessageW(ChildContaining(main, L"H&elp"), BM_CLICK, 0, 0);
    HWND box = nullptr;
    for (int waited = 0; waited < 10000 && !box; waited += 50) {
        const auto boxes = VisibleWindows(run.pi.dwProcessId, L"#32770");
        if (!boxes.empty()) box = boxes.front(); else Sleep(50);
    }
    ASSERT_TRUE(box) << "the shell's answer is told in a box";
    std::wstring text;
    EXPECT_TRUE(ChildContaining(box, copy / L"Zandrel.html", &text)) << "the box names the help file";
    EXPECT_TRUE(ChildContaining(box, Message(texts::MsgHelpNoProgram), &text)) << Narrow(text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int waited = 0; waited < 5000 && IsWindow(box) && IsWindowVisible(box); waited += 50) Sleep(50);
    CloseAndWait(run, main);
}

}  // namespace
}  // namespace zandrel::test
