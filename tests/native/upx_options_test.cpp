#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "batch/batch_plan.h"
#include "fake_job_host.h"
#include "jobs/job_command.h"
#include "jobs/upx_options.h"

namespace zandrel::test {
namespace {

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (const wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

std::wstring CommandLine(const JobForm& form) {
    FakeHost host;
    return PrepareJob(form, host).commandLine;
}

TEST(UpxOptions, EachOptionAddsExactlyItsSwitch) {
    struct Case {
        const char* what;
        void (*set)(UpxOptions&);
        const wchar_t* switches;
    };
    const Case cases[] = {
        {"lzma", [](UpxOptions& o) { o.method = UpxMethod::Lzma; }, L"--lzma"},
        {"brute", [](UpxOptions& o) { o.method = UpxMethod::Brute; }, L"--brute"},
        {"ultra brute", [](UpxOptions& o) { o.method = UpxMethod::UltraBrute; }, L"--ultra-brute"},
        {"force", [](UpxOptions& o) { o.force = true; }, L"-f"},
        {"strip overlay", [](UpxOptions& o) { o.overlay = UpxOverlay::Strip; }, L"--overlay=strip"},
        {"skip overlay", [](UpxOptions& o) { o.overlay = UpxOverlay::Skip; }, L"--overlay=skip"},
        {"exports", [](UpxOptions& o) { o.compressExports = false; }, L"--compress-exports=0"},
        {"icons 0", [](UpxOptions& o) { o.compressIcons = 0; }, L"--compress-icons=0"},
        {"icons 1", [](UpxOptions& o) { o.compressIcons = 1; }, L"--compress-icons=1"},
        {"icons 3", [](UpxOptions& o) { o.compressIcons = 3; }, L"--compress-icons=3"},
        {"resources", [](UpxOptions& o) { o.compressResources = false; }, L"--compress-resources=0"},
        {"keep list", [](UpxOptions& o) { o.keepResource = L"2/MYBITMAP,5,6/12345"; },
         L"--keep-resource=2/MYBITMAP,5,6/12345"},
        {"relocations kept", [](UpxOptions& o) { o.relocs = UpxRelocs::Keep; }, L"--strip-relocs=0"},
        {"relocations stripped", [](UpxOptions& o) { o.relocs = UpxRelocs::Strip; }, L"--strip-relocs=1"},
    };
    for (const auto& c : cases) {
        JobForm form = Form();
        form.level = L"9";
        form.q = true;
        c.set(form.advanced);
        EXPECT_FALSE(AtDefaults(form.advanced)) << c.what;
        // After the quiet switch and before the files, where UPX reads its options.
        EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -9 -q " + std::wstring(c.switches) + L" \"C:\\src\\app.exe\"")
            << c.what;
        form.target = L"C:\\out\\packed.exe";
        EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -9 -q " + std::wstring(c.switches) +
                                         L" \"C:\\src\\app.exe\" -o \"C:\\out\\packed.exe\"")
            << c.what;
    }
}

TEST(UpxOptions, AllTogetherComeInTheirFixedOrderEachOneArgument) {
    UpxOptions o;
    o.relocs = UpxRelocs::Keep;
    o.keepResource = L"ICON";
    o.compressIcons = 0;
    o.compressExports = false;
    o.overlay = UpxOverlay::Skip;
    o.force = true;
    o.method = UpxMethod::Brute;
    EXPECT_EQ(UpxOptionSwitches(o), (std::vector<std::wstring>{L"--brute", L"-f", L"--overlay=skip",
                                                                 L"--compress-exports=0", L"--compress-icons=0",
                                                                 L"--keep-resource=ICON", L"--strip-relocs=0"}));
    // Without compressed resources UPX treats neither icons nor a keep list: they are left out.
    o.compressResources = false;
    EXPECT_EQ(UpxOptionSwitchText(o),
              L"--brute -f --overlay=skip --compress-exports=0 --compress-resources=0 --strip-relocs=0");
    // An icon value no UPX knows is never passed on.
    UpxOptions odd;
    odd.compressIcons = 7;
    EXPECT_TRUE(AtDefaults(odd));
}

// The command lines a form alone makes, byte for byte, whatever it was before the options came.
TEST(UpxOptions, AtTheirDefaultsTheSevenSpellingsStayAsTheyWere) {
    auto form = Form();
    ASSERT_TRUE(AtDefaults(form.advanced));
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -6 \"C:\\src\\app.exe\"");
    form.level = L"best";
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe --best \"C:\\src\\app.exe\"");
    form.qqq = true;
    form.target = L"C:\\out\\packed.exe";
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe --best -qqq \"C:\\src\\app.exe\" -o \"C:\\out\\packed.exe\"");
    form.decompress = true;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -d -qqq \"C:\\src\\app.exe\" -o \"C:\\out\\packed.exe\"");
    form.target = form.source;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -d -qqq \"C:\\src\\app.exe\"");
    form.testFlag = true;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -t -qqq \"C:\\src\\app.exe\"");
    form.testFlag = false;
    form.listFlag = true;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -l -qqq \"C:\\src\\app.exe\"");
}

TEST(UpxOptions, DecompressTestAndListTakeNoneOfThem) {
    auto form = Form();
    form.advanced.method = UpxMethod::UltraBrute;
    form.advanced.force = true;
    form.advanced.overlay = UpxOverlay::Strip;
    form.advanced = KeepPartsUncompressedPreset();
    form.advanced.force = true;
    form.target = L"C:\\out\\plain.exe";
    form.decompress = true;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -d \"C:\\src\\app.exe\" -o \"C:\\out\\plain.exe\"");
    form.target = form.source;
    form.testFlag = true;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -t \"C:\\src\\app.exe\"");
    form.testFlag = false;
    form.listFlag = true;
    EXPECT_EQ(CommandLine(form), L"C:\\upx\\upx.exe -l \"C:\\src\\app.exe\"");
    form.listFlag = false;
    form.decompress = false;
    EXPECT_EQ(CommandLine(form),
              L"C:\\upx\\upx.exe -6 -f --compress-exports=0 --compress-resources=0 --strip-relocs=0 "
              L"\"C:\\src\\app.exe\"");
}

TEST(UpxOptions, ThePresetAndTheBatchQuestion) {
    EXPECT_EQ(UpxOptionSwitchText(KeepPartsUncompressedPreset()),
              L"--compress-exports=0 --compress-resources=0 --strip-relocs=0");
    auto form = Form();
    form.advanced.method = UpxMethod::Lzma;
    EXPECT_EQ(JobDescription(form), L"Compress at level 6 (-6 --lzma), with backups");
    form.advanced.method = UpxMethod::Brute;
    EXPECT_EQ(JobDescription(form), L"Compress at the best level, trying every method (-6 --brute), with backups")
        << "UPX's brute force takes the best level, whatever the form's";
    form.decompress = true;
    EXPECT_EQ(JobDescription(form), L"Decompress (-d), with backups");
}

TEST(KeepResourceList, SoundListsPass) {
    for (const wchar_t* list : {L"", L"ICON", L"2/MYBITMAP,5,6/12345", L"RT_MANIFEST", L"24/1", L"65535",
                                L"TYPE_1/name_2,icon", L"MY-ICON,A.B/v1.2"})
        EXPECT_EQ(KeepResourceProblem(list), L"") << Narrow(list);
}

TEST(KeepResourceList, WhatCouldSplitQuoteOrAddAnArgumentIsRefusedWithItsReason) {
    const std::map<std::wstring, std::wstring> refused{
        {L"ICON\" -o \"C:\\evil.exe", L"Quotes cannot be used"},
        {L"'ICON'", L"Quotes cannot be used"},
        {L"ICON C:\\other.exe", L"Blanks cannot be used"},
        {L"ICON\t5", L"Blanks cannot be used"},
        {L"ICON\n5", L"Blanks cannot be used"},
        {L"5,-o", L"cannot begin with '-'"},
        {L"2/-f", L"cannot begin with '-'"},
        {L"ICON|more", L"'|' cannot be used"},
        {L"ICON%PATH%", L"'%' cannot be used"},
        {L"ICON^", L"'^' cannot be used"},
        {L"ICON>x", L"'>' cannot be used"},
        {L"ICON;del", L"';' cannot be used"},
        {L"ICON&calc", L"'&' cannot be used"},
        {L"2\\X", L"'\\' cannot be used"},
        {L"\u00C4RGER", L"Only the letters A-Z"},
        {L"5,,6", L"An entry is empty"},
        {L",5", L"An entry is empty"},
        {L"5,", L"An entry is empty"},
        {L"2/A/B", L"more than one '/'"},
        {L"/NAME", L"a '/' needs a type before it and a name after it"},
        {L"2/", L"a '/' needs a type before it and a name after it"},
        {L"0", L"resource numbers run from 1 to 65535"},
        {L"2/65536", L"resource numbers run from 1 to 65535"},
        {L"99999999999999999999", L"resource numbers run from 1 to 65535"},
        {std::wstring(1001, L'A'), L"too long"},
    };
    for (const auto& [list, reason] : refused) {
        const auto problem = KeepResourceProblem(list);
        EXPECT_NE(problem.find(reason), std::wstring::npos) << Narrow(list) << " -> " << Narrow(problem);
        // Never passed on, however it got into the options.
        UpxOptions o;
        o.keepResource = list;
        EXPECT_TRUE(AtDefaults(o)) << Narrow(list);
    }
}

TEST(UpxOptionsStored, EveryOptionGoesAndComesBack) {
    UpxOptions o;
    o.method = UpxMethod::UltraBrute;
    o.force = true;
    o.overlay = UpxOverlay::Strip;
    o.compressExports = false;
    o.compressIcons = 1;
    o.compressResources = false;
    o.keepResource = L"5,6/12345";
    o.relocs = UpxRelocs::Keep;
    std::map<std::wstring, std::wstring> store;
    for (const auto& [name, text] : StoredFormOf(o)) EXPECT_TRUE(store.emplace(name, text).second) << "one name each";
    EXPECT_EQ(store.size(), 8u);
    const auto read = [&store](const std::wstring& name) { return store.count(name) ? store.at(name) : L""; };
    EXPECT_EQ(UpxOptionsFromStored(read), o);
    for (const auto method : {UpxMethod::Default, UpxMethod::Lzma, UpxMethod::Brute}) {
        o.method = method;
        o.overlay = method == UpxMethod::Lzma ? UpxOverlay::Skip : UpxOverlay::Copy;
        o.relocs = method == UpxMethod::Brute ? UpxRelocs::Strip : UpxRelocs::Auto;
        for (const auto& [name, text] : StoredFormOf(o)) store[name] = text;
        EXPECT_EQ(UpxOptionsFromStored(read), o);
    }
}

TEST(UpxOptionsStored, MissingOrBadValuesGiveUpxsDefaults) {
    const auto nothing = [](const std::wstring&) { return std::wstring(); };
    EXPECT_EQ(UpxOptionsFromStored(nothing), UpxOptions{});
    std::map<std::wstring, std::wstring> store;
    for (const auto& [name, text] : StoredFormOf(UpxOptions{})) store[name] = text;
    const std::map<std::wstring, std::wstring> bad{{L"AdvancedMethod", L"LZMA "},
                                                   {L"AdvancedForce", L"yes"},
                                                   {L"AdvancedOverlay", L"delete"},
                                                   {L"AdvancedCompressExports", L"false"},
                                                   {L"AdvancedCompressIcons", L"4"},
                                                   {L"AdvancedCompressResources", L"00"},
                                                   {L"AdvancedKeepResource", L"ICON \"C:\\x.exe\""},
                                                   {L"AdvancedRelocations", L"0"}};
    for (const auto& [name, text] : bad) {
        ASSERT_TRUE(store.count(name)) << Narrow(name);
        auto changed = store;
        changed[name] = text;
        EXPECT_EQ(UpxOptionsFromStored([&changed](const std::wstring& n) { return changed[n]; }), UpxOptions{})
            << Narrow(name) << " = " << Narrow(text);
    }
}

}  // namespace
}  // namespace zandrel::test

namespace zandrel::test {
namespace {

// The help file describes every switch the options can add, and the preset as it is.
TEST(UpxOptionsHelp, TheHelpFileNamesEverySwitchAndThePreset) {
    std::ifstream file(std::string(ZANDREL_TEST_DATA) + "/../../../docs/Zandrel.html.in");
    ASSERT_TRUE(file) << "the help file's source";
    const std::string help((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<UpxOptions> every(10);
    every[0].method = UpxMethod::Lzma, every[1].method = UpxMethod::Brute, every[2].method = UpxMethod::UltraBrute;
    every[3].force = true, every[3].overlay = UpxOverlay::Strip;
    every[4].overlay = UpxOverlay::Skip;
    every[5].compressExports = false, every[5].compressIcons = 0;
    every[6].compressResources = false;
    every[7].keepResource = L"5";
    every[8].relocs = UpxRelocs::Keep;
    every[9].relocs = UpxRelocs::Strip;
    for (const auto& options : every)
        for (const auto& option : UpxOptionSwitches(options)) {
            // Values of a numbered option are told in a list; the others by their whole spelling.
            const bool numbered = option.find(L"icons") != std::wstring::npos || option.find(L"keep") != std::wstring::npos;
            const std::string wanted = Narrow(numbered ? option.substr(0, option.find(L'=') + 1) : option);
            EXPECT_NE(help.find("<code>" + wanted), std::string::npos) << wanted;
        }
    EXPECT_NE(help.find("<code>" + Narrow(UpxOptionSwitchText(KeepPartsUncompressedPreset())) + "</code>"),
              std::string::npos);
    EXPECT_NE(help.find("no option can promise anything about it"), std::string::npos);
}

}  // namespace
}  // namespace zandrel::test
