#pragma once
// Keeping the user's file safe around a job, as portable logic: backups that
// never replace a different file, copies that are whole or not there at all,
// telling a program UPX has packed already, and making a file whole again
// after a UPX that did not end normally. Start and batches both use it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/job_command.h"

namespace zandrel {

// prog.exe -> prog_zandrel_bak.exe; the n-th (n > 1) prog_zandrel_bak2.exe, ...
std::wstring BackupName(const std::wstring& source, unsigned n = 1);
// A backup copy's file name, numbered or not: a batch leaves such files alone.
bool IsBackupName(const std::wstring& name);

// A backup of `source` beside it: the first backup name that is free, or that
// holds the same bytes already (then it stays as it is). A file of another
// content is never replaced. The backup's path; empty when none could be made.
// `made` (where given) says whether the backup is a new file, made now.
std::wstring MakeBackup(const std::wstring& source, IJobDisk& disk, bool* made = nullptr);

// A copy of `from` under a plain name in `folder`, whole or not there at all;
// its path, or empty.
std::wstring CopyToTemporary(const std::wstring& from, const std::wstring& folder, IJobDisk& disk);
// `from` copied onto `to`: written under a plain name beside `to` and moved
// there only once whole, over an existing `to` only when `replace`. A failure
// leaves nothing behind and `to` as it was.
bool CopyIntoPlace(const std::wstring& from, const std::wstring& to, bool replace, IJobDisk& disk);

// UPX packed this program already: its first section bears UPX's name, which is
// how UPX itself tells (it then refuses to pack it again). `read` gives up to
// `count` bytes from `offset` (fewer at the end of the file).
bool LooksPackedByUpx(const std::function<std::string(std::uint64_t offset, std::size_t count)>& read);
bool PackedByUpx(const std::wstring& path, IJobDisk& disk);

// The n-th name UPX tries for its work file beside a file it rewrites in place:
// app.exe -> app.upx (n < 0), then app.000 ... app.999 while those are taken.
std::wstring UpxWorkFileName(const std::wstring& file, int n);
// The names UPX would pass over now: those of its work file names that exist, up to
// the first free one (the one it takes). Which work file a run made is told by them.
std::vector<std::wstring> UpxWorkFiles(const std::wstring& file, IJobDisk& disk);

// What UPX names a file's work files by: its name before the extension, case aside.
// Two files of one stem in one folder (app.exe and app.dll) get work files named
// alike: a job that ends badly cannot tell its own from the other's, so they are
// never worked on at once.
std::wstring UpxWorkStem(const std::wstring& file);

// After a UPX that did not end normally: the file it rewrote in place is made
// whole (put back from the job's copy of the original, or else from UPX's
// finished work file), the work files it left go, and an unfinished target it
// wrote goes. Returns what happened, in a sentence or two for the user.
std::wstring MakeWholeAfterUpx(const std::wstring& source, const JobPlan& plan, IJobDisk& disk);
// UPX left its work file beside a file it rewrote in place: UPX removes it before it ends
// with an error, so it was ended from outside (which gives an exit code like its own).
bool UpxLeftItsWorkFile(const std::wstring& source, const JobPlan& plan, IJobDisk& disk);

}  // namespace zandrel
