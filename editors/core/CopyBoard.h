#pragma once
// The data module's settings buffer as the editors share it. A copy made in one editor decides
// every editor's paste button at once: each is enabled exactly when the copy came from its own
// table, since pasting a record of another table does nothing.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace talmar {

class TDMTables;
class TTable;

class TCopyBoard {
public:
    explicit TCopyBoard(TDMTables& dm) : dm_(dm) {}
    TCopyBoard(const TCopyBoard&) = delete;
    TCopyBoard& operator=(const TCopyBoard&) = delete;

    // Copies every field of the table's current record into the buffer, then tells every
    // subscriber (the after-copy paste rule).
    void Copy(TTable& table);
    // Overwrites every field of the current record with the buffer and commits it; nothing when
    // the buffer came from another table.
    void Paste(TTable& table);
    // Whether a paste into this table would paste anything.
    bool CanPaste(const TTable& table) const;

    int Subscribe(std::function<void()> afterCopy);
    void Unsubscribe(int id);

private:
    TDMTables& dm_;
    std::vector<std::pair<int, std::function<void()>>> listeners_;
    int next_ = 1;
};

} // namespace talmar
