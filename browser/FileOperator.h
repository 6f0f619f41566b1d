#pragma once
// A thin wrapper over the shell's file operation, with the memory of the last
// undoable operation. The file list uses it for renames (and later for drops).
#include <cstdint>
#include <string>
#include <vector>

#include "framework/win.h"

namespace zandrel {

enum class TFileOperation : std::uint8_t { foCopy, foDelete, foMove, foRename };
enum TFileOperationFlag : std::uint16_t {
    foAllowUndo = 0x40,
    foConfirmMouse = 0x2,
    foFilesOnly = 0x80,
    foMultiDestFiles = 0x1,
    foNoConfirmation = 0x10,
    foNoConfirmMkDir = 0x200,
    foRenameOnCollision = 0x8,
    foSilent = 0x4,
    foSimpleProgress = 0x100,
};

class TFileOperator {
public:
    TFileOperation Operation = TFileOperation::foCopy;
    std::uint16_t Flags = foAllowUndo | foNoConfirmMkDir;
    std::wstring ProgressTitle = L"File Operation";
    bool WantMappingHandle = false;
    std::vector<std::wstring> OperandFrom, OperandTo;
    HWND Owner = nullptr;

    bool Execute();
    bool UndoExecute();
    void ClearUndo();
    bool CanUndo() const { return undoable_; }

private:
    bool undoable_ = false;
    TFileOperation undoOperation_ = TFileOperation::foCopy;
    std::vector<std::wstring> undoFrom_, undoTo_;
    std::uint16_t undoFlags_ = 0;
};

// Names joined for the shell: each ends with a zero, the whole with a second one.
std::wstring JoinForShell(const std::vector<std::wstring>& names);

}  // namespace zandrel
