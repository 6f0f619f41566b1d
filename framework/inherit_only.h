#pragma once
// Handing a child process only the handles meant for it.
#include <initializer_list>
#include <vector>

#include "framework/win.h"

namespace zandrel {

// With CreateProcess's "inherit handles" alone a child gets every inheritable handle
// the program has open at that moment: the pipes of other runs going on at once among
// them, which that child would then keep open and could read or write. This list
// narrows what it gets to `handles` (each inheritable; nulls and repeats are left out).
class InheritOnly {
public:
    explicit InheritOnly(std::initializer_list<HANDLE> handles);
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    ~InheritOnly();

    // Puts the list into `startup` and returns the creation flag that goes with it;
    // 0 where the system has no such list (the child then inherits as before).
    DWORD Apply(STARTUPINFOEXW& startup) const;

private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace zandrel
