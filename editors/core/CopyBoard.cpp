#include "editors/core/CopyBoard.h"

#include "store/Table.h"

namespace talmar {

void TCopyBoard::Copy(TTable& table) {
    std::vector<TValue> values;
    for (int i = 0; i < table.StoredFieldCount(); ++i)
        values.push_back(table.Value(i));
    buffer_ = std::move(values);
    source_ = table.Name();
    const auto copy = listeners_;
    for (const auto& l : copy)
        l.second();
}

void TCopyBoard::Paste(TTable& table) {
    if (table.Name() != source_)
        return;
    const bool started = table.State() != TTableState::Edit && table.State() != TTableState::Insert;
    table.Edit();
    // Every field or none: a value the column refuses leaves the record as it was, and an edit
    // begun here is not left behind for the next move to commit.
    try {
        table.SetValues(buffer_);
    } catch (...) {
        if (started)
            table.Cancel();
        throw;
    }
    table.Post();
}

bool TCopyBoard::CanPaste(const TTable& table) const {
    return source_ == table.Name();
}

void TCopyBoard::Discard() {
    buffer_.clear();
    source_.clear();
}

int TCopyBoard::Subscribe(std::function<void()> afterCopy) {
    listeners_.emplace_back(next_, std::move(afterCopy));
    return next_++;
}

void TCopyBoard::Unsubscribe(int id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

} // namespace talmar
