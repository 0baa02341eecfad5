#pragma once

#include "core/game_images.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>

namespace velmora {

// Undo and redo of the edits made in the editor. A step keeps the snapshot before an edit and
// the one after it; undoing commits the records of the one before back to the library as an
// edit of its own (written crash-safely like any other), redoing those of the one after. The
// records of old snapshots stay shared with the library where they did not change, and those
// whose payload lies in an older file keep that file open, so a step costs the memory of the
// records it changed that live in memory only.
class TEditHistory {
public:
    // Memory the steps may hold in records of their own (not in any file).
    static constexpr uint64_t kMaxOwnedBytes = 256ull << 20;

    struct TStep {
        QString Name;
        std::shared_ptr<const TRecordList> Before;
        std::shared_ptr<const TRecordList> After;
    };

    void Clear();
    // Records a finished edit and forgets what can be redone; returns how many of the oldest
    // steps were dropped to keep within kMaxOwnedBytes.
    int Push(const QString& name, std::shared_ptr<const TRecordList> before,
             std::shared_ptr<const TRecordList> after);

    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    QString UndoName() const { return CanUndo() ? FUndo.back().Name : QString(); }
    QString RedoName() const { return CanRedo() ? FRedo.back().Name : QString(); }
    size_t UndoCount() const { return FUndo.size(); }

    // Brings back the snapshot before the last edit (after the last undo). Raises what the edit
    // raises (EEditRefused, ELibraryBusy, EFileError); the step then stays where it was.
    void Undo(TGameImages& library);
    void Redo(TGameImages& library);

    // Bytes of records that live in memory only, over every step.
    uint64_t OwnedBytes() const;

private:
    static void Commit(TGameImages& library, const TRecordList& records);
    int Trim();

    std::deque<TStep> FUndo;
    std::deque<TStep> FRedo;
};

} // namespace velmora
