#include "app/edit_history.h"

#include <unordered_set>

namespace velmora {

void TEditHistory::Clear() {
    FUndo.clear();
    FRedo.clear();
}

int TEditHistory::Push(const QString& name, std::shared_ptr<const TRecordList> before,
                       std::shared_ptr<const TRecordList> after) {
    FRedo.clear();
    FUndo.push_back({name, std::move(before), std::move(after)});
    return Trim();
}

void TEditHistory::Commit(TGameImages& library, const TRecordList& records) {
    TGameImages::TUpdate update = library.BeginUpdate(-1);
    update.ReplaceAll(records);
    update.EndUpdate();
}

void TEditHistory::Undo(TGameImages& library) {
    if (FUndo.empty())
        return;
    TStep step = FUndo.back();
    const std::shared_ptr<const TRecordList> current = library.Snapshot();
    Commit(library, *step.Before);
    FUndo.pop_back();
    // Redo brings back what the library held when the undo began.
    step.After = current;
    FRedo.push_back(std::move(step));
}

void TEditHistory::Redo(TGameImages& library) {
    if (FRedo.empty())
        return;
    TStep step = FRedo.back();
    const std::shared_ptr<const TRecordList> current = library.Snapshot();
    Commit(library, *step.After);
    FRedo.pop_back();
    step.Before = current;
    FUndo.push_back(std::move(step));
    Trim();
}

uint64_t TEditHistory::OwnedBytes() const {
    std::unordered_set<const TImageData*> seen;
    uint64_t bytes = 0;
    const auto count = [&](const std::shared_ptr<const TRecordList>& list) {
        if (!list)
            return;
        for (const TRecord& record : *list)
            if (record && !record->InFile() && seen.insert(record.get()).second)
                bytes += record->Image.size();
    };
    for (const std::deque<TStep>* steps : {&FUndo, &FRedo})
        for (const TStep& step : *steps) {
            count(step.Before);
            count(step.After);
        }
    return bytes;
}

int TEditHistory::Trim() {
    int dropped = 0;
    while (FUndo.size() > 1 && OwnedBytes() > kMaxOwnedBytes) {
        FUndo.pop_front();
        ++dropped;
    }
    return dropped;
}

} // namespace velmora
