// Explorer's menus as data, the program's command line, and files handed from one
// start of the program to the one collecting a batch.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/command_line.h"
#include "shell/explorer_entries.h"
#include "shell/hand_over.h"

namespace zandrel {
namespace {

const std::wstring kExe = L"C:\\Program Files\\Zandrel\\zandrel.exe";

TEST(ExplorerEntries, EveryValueForOneProgram) {
    const std::wstring exeShell = L"Software\\Classes\\SystemFileAssociations\\.exe\\shell\\";
    const std::wstring dllShell = L"Software\\Classes\\SystemFileAssociations\\.dll\\shell\\";
    const std::wstring folderShell = L"Software\\Classes\\Directory\\shell\\";
    const std::wstring open = L"\"" + kExe + L"\" \"%1\"", batch = L"\"" + kExe + L"\" /batch \"%1\"";
    const std::vector<RegistryEntry> expected{
        {exeShell + L"ZandrelOpen", L"", L"Open in Zandrel"},
        {exeShell + L"ZandrelOpen", L"Icon", kExe},
        {exeShell + L"ZandrelOpen", L"MultiSelectModel", L"Single"},
        {exeShell + L"ZandrelOpen\\command", L"", open},
        {dllShell + L"ZandrelOpen", L"", L"Open in Zandrel"},
        {dllShell + L"ZandrelOpen", L"Icon", kExe},
        {dllShell + L"ZandrelOpen", L"MultiSelectModel", L"Single"},
        {dllShell + L"ZandrelOpen\\command", L"", open},
        {exeShell + L"ZandrelCompress", L"", L"Compress with Zandrel"},
        {exeShell + L"ZandrelCompress", L"Icon", kExe},
        {exeShell + L"ZandrelCompress", L"MultiSelectModel", L"Player"},
        {exeShell + L"ZandrelCompress\\command", L"", batch},
        {dllShell + L"ZandrelCompress", L"", L"Compress with Zandrel"},
        {dllShell + L"ZandrelCompress", L"Icon", kExe},
        {dllShell + L"ZandrelCompress", L"MultiSelectModel", L"Player"},
        {dllShell + L"ZandrelCompress\\command", L"", batch},
        {folderShell + L"ZandrelCompress", L"", L"Compress with Zandrel"},
        {folderShell + L"ZandrelCompress", L"Icon", kExe},
        {folderShell + L"ZandrelCompress", L"MultiSelectModel", L"Player"},
        {folderShell + L"ZandrelCompress\\command", L"", batch},
    };
    EXPECT_EQ(ExplorerEntries(kExe), expected);
    // Every key written is one of our verbs or its command: removal finds them all.
    std::set<std::wstring> verbKeys;
    for (const auto& verb : OurVerbKeys()) verbKeys.insert(verb.key), verbKeys.insert(verb.CommandKey());
    for (const auto& entry : expected) EXPECT_TRUE(verbKeys.count(entry.key)) << entry.key.size();
    EXPECT_EQ(OurVerbKeys().size(), 5u);
    // Every verb sits below a parent that removal tidies, parents deepest first.
    const auto parents = ParentKeysOfOurVerbs();
    for (const auto& verb : OurVerbKeys())
        EXPECT_NE(std::find(parents.begin(), parents.end(), verb.key.substr(0, verb.key.rfind(L'\\'))), parents.end());
    for (std::size_t i = 0; i < parents.size(); ++i)
        for (std::size_t j = i + 1; j < parents.size(); ++j)
            EXPECT_NE(parents[j].rfind(parents[i] + L"\\", 0), 0u) << "a parent before its child: " << i << " " << j;
}

TEST(ExplorerEntries, OnlyCommandsThatStartAZandrelAreOurs) {
    EXPECT_EQ(ProgramOfCommand(L"\"C:\\a b\\zandrel.exe\" /batch \"%1\""), L"C:\\a b\\zandrel.exe");
    EXPECT_EQ(ProgramOfCommand(L"  C:\\tools\\Zandrel.EXE %1"), L"C:\\tools\\Zandrel.EXE");
    EXPECT_EQ(ProgramOfCommand(L"\"C:\\unended\\zandrel.exe"), L"C:\\unended\\zandrel.exe");
    EXPECT_EQ(ProgramOfCommand(L"   "), L"");
    for (const std::wstring ours : {L"C:\\a b\\zandrel.exe", L"C:\\tools\\Zandrel.EXE", L"zandrel.exe",
                                    L"\\\\server\\share\\ZANDREL.exe"})
        EXPECT_TRUE(StartsAZandrel(ours)) << ours.size();
    for (const std::wstring foreign : {L"", L"C:\\other\\upx.exe", L"C:\\zandrel.exe\\other.exe",
                                       L"C:\\x\\zandrel.exe.bak", L"C:\\x\\myzandrel.exe", L"C:\\x\\zandrel"})
        EXPECT_FALSE(StartsAZandrel(foreign)) << foreign.size();
}

TEST(CommandLine, PlainFormsKeepTheirMeaning) {
    EXPECT_EQ(ReadCommandLine({}).kind, StartKind::Window);
    const auto one = ReadCommandLine({L"app.exe"});
    EXPECT_EQ(one.kind, StartKind::OpenFile);
    EXPECT_EQ(one.files, std::vector<std::wstring>{L"app.exe"});
    EXPECT_EQ(ReadCommandLine({L"a.exe", L"b.exe"}).kind, StartKind::End);
    // A switch is one only in the first place: later it is a plain argument.
    EXPECT_EQ(ReadCommandLine({L"a.exe", L"/batch"}).kind, StartKind::End);
    EXPECT_EQ(ReadCommandLine({L"a.exe", L"/register-shell"}).kind, StartKind::End);
    // Not a switch: a name without the slash, or with another spelling.
    EXPECT_EQ(ReadCommandLine({L"batch"}).kind, StartKind::OpenFile);
    EXPECT_EQ(ReadCommandLine({L"-batch", L"a.exe"}).kind, StartKind::End);
    EXPECT_EQ(ReadCommandLine({L"/batches", L"a.exe"}).kind, StartKind::End);
}

TEST(CommandLine, SwitchesCaseAside) {
    const auto batch = ReadCommandLine({L"/BATCH", L"C:\\a.exe", L"D:\\folder"});
    EXPECT_EQ(batch.kind, StartKind::Batch);
    EXPECT_EQ(batch.files, (std::vector<std::wstring>{L"C:\\a.exe", L"D:\\folder"}));
    EXPECT_EQ(ReadCommandLine({L"/batch", L"one.dll"}).files, std::vector<std::wstring>{L"one.dll"});
    EXPECT_EQ(ReadCommandLine({L"/batch"}).kind, StartKind::Window) << "nothing to batch: the window";
    EXPECT_EQ(ReadCommandLine({L"/Register-Shell"}).kind, StartKind::RegisterShell);
    EXPECT_EQ(ReadCommandLine({L"/unregister-SHELL"}).kind, StartKind::UnregisterShell);
    EXPECT_EQ(ReadCommandLine({L"/register-shell", L"x"}).kind, StartKind::Refused);
    EXPECT_EQ(ReadCommandLine({L"/unregister-shell", L""}).kind, StartKind::Refused);
}

std::optional<std::vector<std::wstring>> Decode(const std::vector<std::uint8_t>& bytes) {
    return DecodeHandOver(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Units(std::initializer_list<std::uint16_t> units) {
    std::vector<std::uint8_t> bytes;
    for (const auto u : units) bytes.push_back(u & 0xFF), bytes.push_back(u >> 8);
    return bytes;
}

TEST(HandOver, FilesGoThereAndBackWhole) {
    const std::vector<std::wstring> files{L"C:\\a.exe", L"\\\\server\\share\\b.dll", L"d:\\Ελληνικά\\γ.exe",
                                          L"\\\\?\\C:\\" + std::wstring(300, L'x')};
    EXPECT_EQ(Decode(EncodeHandOver(files)), files);
    // A character beyond the basic plane travels as a surrogate pair.
    const auto pair = Units({'C', ':', '\\', 0xD83D, 0xDE00, 0});
    const auto decoded = Decode(pair);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(EncodeHandOver(*decoded), pair);
}

TEST(HandOver, BytesThatAreNoHandOverAreRefused) {
    EXPECT_FALSE(DecodeHandOver(nullptr, 0));
    EXPECT_FALSE(Decode({}));
    auto good = EncodeHandOver({L"C:\\a.exe"});
    EXPECT_TRUE(Decode(good));
    auto odd = good;
    odd.push_back(0);
    EXPECT_FALSE(Decode(odd)) << "odd size";
    auto unended = good;
    unended.resize(unended.size() - 2);
    EXPECT_FALSE(Decode(unended)) << "the last name has no end";
    EXPECT_FALSE(Decode(Units({'C', ':', '\\', 'a', 0, 0}))) << "an empty name";
    EXPECT_FALSE(Decode(Units({0}))) << "no files";
    EXPECT_FALSE(Decode(Units({'a', '.', 'e', 'x', 'e', 0}))) << "relative";
    EXPECT_FALSE(Decode(Units({'C', ':', 'a', 0}))) << "relative to a drive's folder";
    EXPECT_FALSE(Decode(Units({'\\', 'a', 0}))) << "relative to the drive";
    EXPECT_FALSE(Decode(Units({'1', ':', '\\', 0}))) << "no drive letter";
    EXPECT_FALSE(Decode(Units({'C', ':', '\\', 0x0A, 0}))) << "a control character";
    EXPECT_FALSE(Decode(Units({'C', ':', '\\', 0xD83D, 0}))) << "a lone high surrogate";
    EXPECT_FALSE(Decode(Units({'C', ':', '\\', 0xDE00, 'a', 0}))) << "a lone low surrogate";
    EXPECT_FALSE(Decode(Units({'C', ':', '\\', 0xD83D, 'a', 0}))) << "a high surrogate without its pair";
}

TEST(HandOver, SizesPastTheLimitsAreRefused) {
    const std::wstring longest = L"C:\\" + std::wstring(kMaxPathUnits - 3, L'x');
    EXPECT_TRUE(Decode(EncodeHandOver({longest})));
    EXPECT_FALSE(Decode(EncodeHandOver({longest + L"x"}))) << "a name longer than Windows takes";
    const std::vector<std::wstring> most(kMaxHandOverFiles, L"C:\\a.exe");
    EXPECT_TRUE(Decode(EncodeHandOver(most)));
    auto tooMany = most;
    tooMany.push_back(L"C:\\b.exe");
    EXPECT_FALSE(Decode(EncodeHandOver(tooMany)));
    const std::vector<std::wstring> huge(200, L"C:\\" + std::wstring(20000, L'y'));
    const auto bytes = EncodeHandOver(huge);
    ASSERT_GT(bytes.size(), kMaxHandOverBytes);
    EXPECT_FALSE(Decode(bytes));
}

TEST(HandOver, TheCollectorWaitsForAQuietSpellButNotForever) {
    FileCollection collection({L"C:\\own.exe"}, 1000);
    EXPECT_EQ(collection.WaitLeft(1000), FileCollection::kQuietMs);
    EXPECT_TRUE(collection.Add({L"C:\\b.exe"}, 1300));
    EXPECT_EQ(collection.WaitLeft(1400), FileCollection::kQuietMs - 100) << "the quiet spell starts again";
    // Files that keep coming never hold it past its longest time.
    std::uint64_t now = 1300;
    while (collection.WaitLeft(now) > 0) {
        now += FileCollection::kQuietMs - 1;
        if (collection.WaitLeft(now) > 0) {
            EXPECT_TRUE(collection.Add({L"C:\\more.exe"}, now));
        }
    }
    EXPECT_LE(now, 1000 + FileCollection::kLongestMs + FileCollection::kQuietMs);
    EXPECT_GE(now, 1000 + FileCollection::kLongestMs);
    EXPECT_TRUE(collection.Over());
    const auto count = collection.Files().size();
    EXPECT_FALSE(collection.Add({L"C:\\late.exe"}, now)) << "a late file goes to a collector of its own";
    EXPECT_EQ(collection.WaitLeft(now - 100), 0u) << "over stays over";
    EXPECT_EQ(collection.Files().size(), count);
    EXPECT_EQ(collection.Files().front(), L"C:\\own.exe");
}

TEST(HandOver, ABatchDoesNotGrowPastItsLimit) {
    FileCollection collection({L"C:\\own.exe"}, 0);
    const std::vector<std::wstring> many(kMaxHandOverFiles, L"C:\\a.exe");
    std::size_t taken = 1;
    for (std::uint64_t t = 1; collection.Add(many, t); ++t) taken += many.size();
    EXPECT_EQ(collection.Files().size(), taken);
    EXPECT_LE(taken, kMaxCollectedFiles);
    EXPECT_GT(taken + many.size(), kMaxCollectedFiles);
    EXPECT_FALSE(collection.Over()) << "refused for its size, not for time";
}

}  // namespace
}  // namespace zandrel
