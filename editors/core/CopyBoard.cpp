#include "editors/core/CopyBoard.h"

#include "store/DMTables.h"

namespace talmar {

void TCopyBoard::Copy(TTable& table) {
    dm_.CopySettings(table);
    const auto copy = listeners_;
    for (const auto& l : copy)
        l.second();
}

void TCopyBoard::Paste(TTable& table) {
    dm_.PasteSettings(table);
}

bool TCopyBoard::CanPaste(const TTable& table) const {
    return dm_.SettingsBufferSource() == table.Name();
}

int TCopyBoard::Subscribe(std::function<void()> afterCopy) {
    listeners_.emplace_back(next_, std::move(afterCopy));
    return next_++;
}

void TCopyBoard::Unsubscribe(int id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

} // namespace talmar
