#pragma once
// A claim, seen by every Zandrel of the user's session, that UPX works on a file of
// one work key (`UpxWorkFilesKey`: the folder by its identity, and the stem): another
// Zandrel's batch or Start finds it and leaves that file alone, so two programs never
// put UPX on one file, or on two files whose work files UPX names alike.
#include <memory>
#include <string>

#include "framework/win.h"

namespace zandrel {

class WorkClaim {
public:
    // The claim, or nullptr when a job (of this Zandrel or another) holds it already.
    static std::unique_ptr<WorkClaim> Take(const std::wstring& workKey);
    ~WorkClaim();
    WorkClaim(const WorkClaim&) = delete;
    WorkClaim& operator=(const WorkClaim&) = delete;

private:
    explicit WorkClaim(HANDLE mutex) : mutex_(mutex) {}
    HANDLE mutex_;
};

}  // namespace zandrel
