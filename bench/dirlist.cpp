// The browser's file list on big folders: time from SetPath to loaded and
// sorted, against a raw FindFirstFileW/FindNextFileW enumeration of the same
// folder in the same run; a re-sort on a column click; memory per listed item.
// Usage: bench_dirlist PARENT N [N ...]   (PARENT holds zandrel-bench-N, each of
// N empty files file0.exe ...); prints "name value unit" lines.
#include "app/Main.h"
#include "bench_support.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "browser/ShellFacts.h"
#include "framework/application.h"

namespace {

using zandrel::bench::Now;

std::size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // Wine leaves PrivateUsage at 0; the page-file share is the same figure there.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// The folder of n empty files bench/run made (from the Linux side: through
// Wine every new name is looked up in the growing folder, minutes for 100,000).
std::wstring FolderOf(const std::wstring& parent, int n) {
    return parent + L"\\zandrel-bench-" + std::to_wstring(n);
}

double RawEnumeration(const std::wstring& dir, int& count) {
    const double t0 = Now();
    WIN32_FIND_DATAW data;
    count = 0;
    const HANDLE h = FindFirstFileW((dir + L"\\*.*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do ++count;
        while (FindNextFileW(h, &data));
        FindClose(h);
    }
    return Now() - t0;
}

// Text requests the list control makes of the list (its display-data notifications).
long textRequests = 0;

LRESULT CALLBACK CountTextRequests(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == LVN_GETDISPINFOW &&
        (reinterpret_cast<const NMLVDISPINFOW*>(lParam)->item.mask & LVIF_TEXT))
        ++textRequests;
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// SetPath, then the first paint: milliseconds to loaded and to painted, text requests of the paint.
struct Timed {
    double loaded, painted, repainted;
    long requests;
};

Timed LoadAndPaint(zandrel::TDirView& list, const std::wstring& dir) {
    const double t0 = Now();
    list.SetPath(dir);
    const double loaded = Now() - t0;
    const long before = textRequests;
    UpdateWindow(list.Handle());
    const double painted = Now() - t0;
    const long requests = textRequests - before;
    const double r0 = Now();
    InvalidateRect(list.Handle(), nullptr, TRUE);
    UpdateWindow(list.Handle());
    return {loaded, painted, Now() - r0, requests};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace zandrel;
    auto& app = Application::Instance();
    app.Initialize();
    TfrmMain form(bench::Deps());
    form.Show();
    form.FilterComboBox1.SetItemIndex(2);  // all files
    app.ProcessMessages();
    SetWindowSubclass(GetParent(form.ShellDir1.Handle()), CountTextRequests, 1, 0);
    if (argc < 3) return 2;
    for (int a = 2; a < argc; ++a) {
        const int n = _wtoi(argv[a]);
        const std::wstring dir = FolderOf(argv[1], n);
        int raw = 0;
        RawEnumeration(dir, raw);  // warm the file system's caches alike for both
        const double rawMs = RawEnumeration(dir, raw);

        form.ShellDir1.SetPath(L"C:");
        app.ProcessMessages();
        const std::size_t before = PrivateBytes();
        const Timed shown = LoadAndPaint(form.ShellDir1, dir);
        const double loadMs = shown.loaded, paintedMs = shown.painted;
        // Icons fetched by the first paint: only the items on screen should be.
        int fetched = 0;
        for (int i = 0; i < form.ShellDir1.Count(); ++i) fetched += !form.ShellDir1.Item(i)->IconEmpty;
        const std::size_t after = PrivateBytes();
        const int listed = form.ShellDir1.Count();

        const double s0 = Now();
        form.ShellDir1.SetSortAscending(false);  // what a click on the sort column does
        const double resortMs = Now() - s0;
        const double d0 = Now();
        form.ShellDir1.SetSortColumn(3);  // by date
        const double dateSortMs = Now() - d0;
        form.ShellDir1.SetSortColumn(0);
        form.ShellDir1.SetSortAscending(true);

        // The report view: laid out by its columns, so only the rows on screen are asked for.
        form.ShellDir1.SetViewStyle(TViewStyle::vsReport);
        form.ShellDir1.SetPath(L"C:");
        app.ProcessMessages();
        const Timed report = LoadAndPaint(form.ShellDir1, dir);
        form.ShellDir1.SetViewStyle(TViewStyle::vsSmallIcon);

        std::printf("list_%d_files_raw_enumeration %.0f ms\n", n, rawMs);
        std::printf("list_%d_files_setpath_to_loaded_and_sorted %.0f ms\n", n, loadMs);
        std::printf("list_%d_files_setpath_to_painted %.0f ms\n", n, paintedMs);
        std::printf("list_%d_files_ratio_to_raw %.2f x\n", n, loadMs / (rawMs > 0 ? rawMs : 1));
        std::printf("list_%d_files_painted_ratio_to_loaded %.2f x\n", n, paintedMs / (loadMs > 0 ? loadMs : 1));
        std::printf("list_%d_files_text_requests_of_first_paint %ld requests\n", n, shown.requests);
        std::printf("list_%d_files_repaint %.0f ms\n", n, shown.repainted);
        std::printf("list_%d_files_resort_by_name_descending %.0f ms\n", n, resortMs);
        std::printf("list_%d_files_resort_by_date %.0f ms\n", n, dateSortMs);
        std::printf("list_%d_files_memory_per_item %.0f bytes\n", n,
                    static_cast<double>(after > before ? after - before : 0) / (listed > 0 ? listed : 1));
        std::printf("list_%d_files_icons_fetched_by_first_paint %d items\n", n, fetched);
        std::printf("list_%d_files_report_view_painted_ratio_to_loaded %.2f x (%ld text requests)\n", n,
                    report.painted / (report.loaded > 0 ? report.loaded : 1), report.requests);
        std::printf("list_%d_files_items_listed %d items (raw %d entries)\n", n, listed, raw);
        std::fflush(stdout);
    }
    // A sort by type over 100,000 files of 50 extensions: the shell is asked once per extension.
    const std::wstring types = std::wstring(argv[1]) + L"\\zandrel-bench-types";
    if (GetFileAttributesW(types.c_str()) != INVALID_FILE_ATTRIBUTES) {
        form.ShellDir1.SetPath(types);
        const long asked = ShellQuestionsAsked();
        const double t0 = Now();
        form.ShellDir1.SetSortColumn(2);
        const double sortMs = Now() - t0;
        std::printf("list_types_files_sorted_by_type %d items\n", form.ShellDir1.Count());
        std::printf("list_types_sort_by_type %.0f ms\n", sortMs);
        std::printf("list_types_shell_type_lookups %ld lookups\n", ShellQuestionsAsked() - asked);
        form.ShellDir1.SetSortColumn(0);
    }
    form.ShellDir1.SetPath(L"C:");
    return 0;
}
