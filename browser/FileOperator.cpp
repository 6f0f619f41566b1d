#include "browser/FileOperator.h"

#include <shellapi.h>

#include "framework/files.h"
#include "framework/names.h"

namespace zandrel {

std::wstring JoinForShell(const std::vector<std::wstring>& names) {
    std::wstring joined;
    for (const auto& n : names) joined += n, joined += L'\0';
    joined += L'\0';
    return joined;
}

bool TFileOperator::Execute() {
    struct Clear {
        TFileOperator& o;
        ~Clear() { o.OperandFrom.clear(), o.OperandTo.clear(); }
    } clear{*this};
    bool ok = false;
    try {
        if (Operation == TFileOperation::foRename) {
            ok = !OperandFrom.empty() && !OperandTo.empty() &&
                 MoveFileW(ApiPath(OperandFrom[0]).c_str(), ApiPath(OperandTo[0]).c_str()) != FALSE;
        } else if (Operation == TFileOperation::foMove && OperandFrom.size() > 1 && !(Flags & foMultiDestFiles) &&
                   RunningOnWine()) {
            // Wine's shell refuses to move several files at once (it answers "cancelled"):
            // there they go one at a time.
            ok = true;
            for (const auto& source : OperandFrom) {
                const auto from = JoinForShell({source}), to = JoinForShell(OperandTo);
                SHFILEOPSTRUCTW op{};
                op.hwnd = Owner;
                op.wFunc = FO_MOVE;
                op.pFrom = from.c_str();
                op.pTo = to.c_str();
                op.fFlags = static_cast<FILEOP_FLAGS>(Flags);
                op.lpszProgressTitle = ProgressTitle.c_str();
                ok = SHFileOperationW(&op) == 0 && ok;
                if (op.hNameMappings) SHFreeNameMappings(op.hNameMappings);
            }
        } else {
            const auto from = JoinForShell(OperandFrom), to = JoinForShell(OperandTo);
            SHFILEOPSTRUCTW op{};
            op.hwnd = Owner;
            op.wFunc = Operation == TFileOperation::foCopy   ? FO_COPY
                       : Operation == TFileOperation::foMove ? FO_MOVE
                                                             : FO_DELETE;
            op.pFrom = from.c_str();
            op.pTo = OperandTo.empty() ? nullptr : to.c_str();
            op.fFlags = static_cast<FILEOP_FLAGS>(Flags);
            op.lpszProgressTitle = ProgressTitle.c_str();
            ok = SHFileOperationW(&op) == 0;
            if (op.hNameMappings) SHFreeNameMappings(op.hNameMappings);
        }
    } catch (...) {
        ok = false;
    }
    if ((Flags & foAllowUndo) && !(Flags & (foMultiDestFiles | foRenameOnCollision)) &&
        Operation != TFileOperation::foDelete) {
        undoable_ = true;
        undoOperation_ = Operation;
        undoFrom_ = OperandFrom;
        undoTo_ = OperandTo;
        undoFlags_ = Flags;
    } else {
        ClearUndo();
    }
    return ok;
}

bool TFileOperator::UndoExecute() {
    if (!undoable_ || undoTo_.size() != 1 || undoFrom_.empty()) return false;
    const auto from = undoFrom_, to = undoTo_;
    const auto operation = undoOperation_;
    ClearUndo();
    auto nameOf = [](const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); };
    auto folderOf = [](const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); };
    switch (operation) {
        case TFileOperation::foCopy:
            Operation = TFileOperation::foDelete;
            Flags = foNoConfirmation;
            for (const auto& f : from) OperandFrom.push_back(JoinPath(to[0], nameOf(f)));
            return Execute();
        case TFileOperation::foMove:
            Operation = TFileOperation::foMove;
            Flags = foAllowUndo | foNoConfirmation;
            for (const auto& f : from) OperandFrom.push_back(JoinPath(to[0], nameOf(f)));
            OperandTo.push_back(folderOf(from[0]));
            return Execute();
        case TFileOperation::foRename:
            Operation = TFileOperation::foRename;
            OperandFrom.push_back(to[0]);
            OperandTo.push_back(from[0]);
            return Execute();
        case TFileOperation::foDelete:
            break;
    }
    return false;
}

void TFileOperator::ClearUndo() {
    undoable_ = false;
    undoFrom_.clear();
    undoTo_.clear();
}

}  // namespace zandrel
