#include "jobs/upx_names.h"

#include <cwctype>
#include <optional>

#include "framework/names.h"
#include "jobs/job_command.h"

namespace zandrel {
namespace {

// How UPX names new files in a folder: by the folder's name, by its short
// form (a folder is never renamed by UPX, so that form is safe), or by bare
// names with UPX started in that folder.
struct FolderReach {
    std::wstring folder;   // where the plain-named files go
    std::wstring spelled;  // how UPX names that folder; empty when names are relative
    bool relative = false;
};

std::optional<FolderReach> ReachFolder(const std::wstring& folder, IJobDisk& host) {
    const std::wstring longest(kPlainNameLength, L'a');
    if (UpxCanUse(JoinPath(folder, longest), host)) return FolderReach{folder, folder, false};
    const auto shortForm = host.ShortPath(folder);
    if (shortForm != folder && UpxCanUse(JoinPath(shortForm, longest), host)) return FolderReach{folder, shortForm, false};
    // A relative name makes a full path in the current folder; it must fit too.
    if (JoinPath(folder, longest).size() + kUpxTempRoom <= kUpxPathLimit) return FolderReach{folder, {}, true};
    return std::nullopt;
}

// How much of a full path is its volume's root: "C:\" or "\\server\share\".
std::size_t RootLength(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.size() > 2 ? 3 : 2;
    if (path.rfind(L"\\\\", 0) == 0) {
        const auto server = path.find(L'\\', 2);
        if (server == std::wstring::npos) return path.size();
        const auto share = path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    return 0;
}

// The wanted file's own folder, or else the nearest folder above it that UPX
// can reach: still on the same volume, so the result is moved, not copied.
std::optional<FolderReach> ReachNearest(std::wstring folder, IJobDisk& host) {
    const std::size_t root = RootLength(folder);
    for (;;) {
        if (auto reach = ReachFolder(folder, host)) return reach;
        const auto parent = FolderPart(folder);
        if (parent.empty() || parent == folder || parent.size() < root) return std::nullopt;
        folder = parent;
    }
}

// A full path without the \\?\ prefix (the command line and UPX know no such form).
std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}


}  // namespace

bool UpxCanUse(const std::wstring& path, IJobDisk& host) {
    if (path.empty() || path.size() > kUpxPathLimit) return false;
    if (FolderPart(path).size() + 1 + kUpxTempRoom > kUpxPathLimit) return false;
    return host.SurvivesAnsiCodePage(path);
}

bool HasPlainTempName(const std::wstring& path) { return FileNamePart(path).rfind(kPlainNamePrefix, 0) == 0; }

std::wstring PlainTempName(unsigned long processId, unsigned number, const std::wstring& sourceName) {
    // The source's extension where it is a plain one (.exe, .dll), else .tmp.
    std::wstring extension = L".tmp";
    const auto dot = sourceName.find_last_of(L'.');
    const auto sep = sourceName.find_last_of(L"\\/:");
    if (dot != std::wstring::npos && (sep == std::wstring::npos || dot > sep)) {
        const auto ext = sourceName.substr(dot);
        bool plain = ext.size() >= 2 && ext.size() <= 4;
        for (std::size_t i = 1; i < ext.size(); ++i) {
            const wchar_t c = ext[i];
            plain = plain && ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'));
        }
        if (plain) extension = ext;
    }
    return kPlainNamePrefix + std::to_wstring(processId % 100000) + L"-" + std::to_wstring(number % 1000) + extension;
}

namespace {

// The file's long name. Where the look at its path gave nothing (the path comes back as
// it was), a name that may be an alias is looked up once more by itself: a missed alias
// would let UPX rename the file.
std::wstring LongFormOf(const std::wstring& fullPath, IJobDisk& host) {
    const auto longPath = WithoutLongPrefix(host.LongPath(fullPath));
    if (longPath == fullPath && FileNamePart(fullPath).find(L'~') != std::wstring::npos)
        if (const auto own = host.LongName(fullPath); !own.empty()) return JoinPath(FolderPart(fullPath), own);
    return longPath;
}

// New plain-named files where UPX can reach them (as near the wanted folder as it can), as
// UPX is to name them; each is noted among the job's temporaries.
class WorkingNames {
public:
    WorkingNames(std::wstring wantedFolder, std::wstring sourceName, UpxFiles& files, IJobDisk& host)
        : wantedFolder_(std::move(wantedFolder)), sourceName_(std::move(sourceName)), files_(files), host_(host) {}

    // The new file's full path in `full`; UPX's name for it, or nothing when none can be had.
    std::optional<std::wstring> Make(std::wstring& full) {
        if (!reachTried_) reach_ = ReachNearest(wantedFolder_, host_), reachTried_ = true;
        if (!reach_) {
            trouble_ = Trouble::Unreachable;
            return std::nullopt;
        }
        full = host_.FreeTempName(reach_->folder, sourceName_);
        if (full.empty()) {
            trouble_ = Trouble::NoName;
            return std::nullopt;
        }
        files_.temporaries.push_back(full);
        const auto name = FileNamePart(full);
        if (reach_->relative) {
            files_.currentFolder = reach_->folder;
            return name;
        }
        return JoinPath(reach_->spelled, name);
    }
    // What the job gets when a name could not be had: why, and nothing to run.
    UpxFiles Failure() const {
        UpxFiles none;
        none.unreachable = trouble_ == Trouble::Unreachable;
        none.noWorkingName = trouble_ == Trouble::NoName;
        none.unreachableFolder = wantedFolder_;
        return none;
    }

private:
    std::wstring wantedFolder_, sourceName_;
    UpxFiles& files_;
    IJobDisk& host_;
    std::optional<FolderReach> reach_;
    bool reachTried_ = false;
    enum class Trouble { None, Unreachable, NoName } trouble_ = Trouble::None;
};

}  // namespace

UpxFiles ReachFilesForUpx(const std::wstring& source, const std::wstring& target, bool inPlace, bool infoJob,
                          IJobDisk& host) {
    UpxFiles files;
    const bool readsOnly = infoJob;
    const bool toOther = !infoJob && !inPlace;
    // A file UPX rewrites in place ends up under the name it was given, so an
    // 8.3 alias of the source would rename it.
    const auto fullSource = WithoutLongPrefix(host.FullPath(source));
    // Only there is the long name asked (a look at every folder of the path, costly under Wine).
    const bool rewritten = !readsOnly && !toOther;
    const auto longSource = rewritten ? LongFormOf(fullSource, host) : fullSource;
    const bool alias = rewritten && FoldedName(FileNamePart(longSource)) != FoldedName(FileNamePart(fullSource));
    if (UpxCanUse(source, host) && !alias && (!toOther || UpxCanUse(target, host))) {
        // The usual case: the command line is exactly what it always was.
        files.source = source;
        if (toOther) files.output = target;
        files.writesOnlyTemporaries = readsOnly;
        return files;
    }

    // From here on names may be relative to UPX's own folder: use full paths.
    const auto fullTarget = toOther ? WithoutLongPrefix(host.FullPath(target)) : longSource;
    WorkingNames working(FolderPart(fullTarget), fullSource, files, host);

    if (readsOnly || toOther) {
        // A file UPX only reads may go by its short form.
        const auto shortForm = host.ShortPath(fullSource);
        if (UpxCanUse(fullSource, host)) {
            files.source = fullSource;
        } else if (shortForm != fullSource && UpxCanUse(shortForm, host)) {
            files.source = shortForm;
            files.renamed.push_back({source, shortForm});
        } else {
            std::wstring copy;
            const auto given = working.Make(copy);
            if (!given) return working.Failure();
            files.copyFrom = fullSource, files.copyTo = copy;
            files.source = *given;
            files.renamed.push_back({source, *given});
        }
    } else {
        // In place: UPX works on a copy, which replaces the file once it is
        // finished, under the file's own (long) name.
        std::wstring copy;
        const auto given = working.Make(copy);
        if (!given) return working.Failure();
        files.copyFrom = fullSource, files.copyTo = copy;
        files.resultFrom = copy, files.resultTo = longSource;
        files.source = *given;
        files.renamed.push_back({source, *given});
        // UPX's own work file beside the copy (its name with .upx): the job's too, if UPX is ended.
        files.temporaries.push_back(copy.substr(0, copy.find_last_of(L'.')) + L".upx");
    }

    if (toOther) {
        // An existing target stays until the new one is finished.
        if (UpxCanUse(fullTarget, host) && !host.FileExists(fullTarget)) {
            files.output = fullTarget;
        } else {
            // Never the short form of a file UPX writes: it would keep that name.
            std::wstring output;
            const auto given = working.Make(output);
            if (!given) return working.Failure();
            files.output = *given;
            files.resultFrom = output, files.resultTo = fullTarget;
            files.renamed.push_back({target, *given});
        }
    }
    files.writesOnlyTemporaries = files.output.empty() || !files.resultFrom.empty();
    return files;
}

}  // namespace zandrel
