// Batches where the names and places are unusual: one folder spelled two ways,
// full paths in their long-path form or with "..", names UPX cannot spell.
#include "packed_format.h"
#include "batch_run_fixture.h"

#include "framework/files.h"
#include "jobs/batch_run.h"
#include "jobs/job_host.h"

namespace zandrel::test {
namespace {

class BatchNamesAttack : public BatchRunFixture {
protected:
    TempDir signals{L"zbs"};

    // A private copy of each file until its test passes.
    static JobForm Form() { return FormFor(StandinPath(), false); }
    bool Run(const std::vector<std::wstring>& files, int atOnce, std::function<bool()> step = {}) {
        return BatchRunFixture::Run(files, Form(), atOnce, std::move(step));
    }
};

// app.exe and app.dll share UPX's work file names whatever spelling of their folder
// the batch was given (a /batch command line takes any full path): the end of a UPX
// that dies must never take the other's work file. Same scene as with plain names:
// the program's UPX waits at its start while the library's could begin, then dies
// after removing its file.
TEST_F(BatchNamesAttack, FilesOfOneStemInOneFolderSpelledTwoWaysAreNeverAtWorkTogether) {
    const std::wstring folder = dir.Path();
    const std::vector<std::pair<const char*, std::wstring>> spellings{
        {"the long-path form", L"\\\\?\\" + folder + L"\\app.exe"},
        {"a folder and its parent", folder + L"\\sub\\..\\app.exe"},
    };
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    for (const auto& [how, exeSpelled] : spellings) {
        SCOPED_TRACE(how);
        WriteBytes(dir / L"app.exe", ProgramBytes(200 * 1024, 'e'));
        WriteBytes(dir / L"app.dll", ProgramBytes(3000, 'd'));
        EnvSwitch pause(L"STANDIN_PAUSE_AT", L"opened@app.exe,written@app.dll"),
            signalFolder(L"STANDIN_SIGNAL", signals.Path() + L"\\");
        EnvSwitch die(L"STANDIN_DIE_AT", L"removed"), dieFile(L"STANDIN_DIE_FILE", L"app.exe");
        const auto exeSignal = signals / L"app.exe.signal", dllSignal = signals / L"app.dll.signal";
        ULONGLONG exeStopped = 0;
        bool together = false;
        ASSERT_TRUE(Run({exeSpelled, dir / L"app.dll"}, 2, [&] {
            if (Exists(exeSignal) && !exeStopped) exeStopped = GetTickCount64();
            together = together || (Exists(exeSignal) && Exists(dllSignal));
            if (exeStopped && (Exists(dllSignal) || GetTickCount64() - exeStopped > 500)) DeleteFileW(exeSignal.c_str());
            if (Finished(batch->Outcomes()[0].result) && Exists(dllSignal)) DeleteFileW(dllSignal.c_str());
            return false;
        }));
        EXPECT_FALSE(together) << "both UPX were at work on one stem";
        EXPECT_EQ(finished[0].result, BatchResult::Error);
        EXPECT_EQ(ReadBytes(dir / L"app.exe"), ProgramBytes(200 * 1024, 'e'));
        EXPECT_EQ(finished[1].result, BatchResult::Done) << Narrow(finished[1].reason);
        EXPECT_EQ(standin::Unpack(ReadBytes(dir / L"app.dll")), ProgramBytes(3000, 'd'));
        EXPECT_EQ(Listing(dir.Path()), (std::set<std::wstring>{L"app.exe", L"app.dll", L"sub"}));
        DeleteFileW((dir / L"app.exe").c_str());
        DeleteFileW((dir / L"app.dll").c_str());
    }
}

}  // namespace
}  // namespace zandrel::test
