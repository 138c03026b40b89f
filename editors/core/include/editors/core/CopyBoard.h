#pragma once
// The settings buffer for copying records between КП, as the editors share it. A copy made in one
// editor decides every editor's paste button at once: each is enabled exactly when the copy came
// from its own table, since pasting a record of another table does nothing.

#include "store/Value.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace talmar {

class TTable;

class TCopyBoard {
public:
    TCopyBoard() = default;
    TCopyBoard(const TCopyBoard&) = delete;
    TCopyBoard& operator=(const TCopyBoard&) = delete;

    // Copies every field of the table's current record into the buffer, then tells every
    // subscriber (the after-copy paste rule).
    void Copy(TTable& table);
    // Overwrites every field of the current record with the buffer and commits it; nothing when
    // the buffer came from another table. Every field or none: a value the column refuses throws
    // EValueError (naming table, КП and column) and leaves the record as it was.
    void Paste(TTable& table);
    // Whether a paste into this table would paste anything.
    bool CanPaste(const TTable& table) const;

    const std::vector<TValue>& Buffer() const { return buffer_; }
    // The name of the table the copy came from; empty when there is none.
    const std::string& Source() const { return source_; }
    // Drops the copy (at exit, before the tables close).
    void Discard();

    int Subscribe(std::function<void()> afterCopy);
    void Unsubscribe(int id);

private:
    std::vector<TValue> buffer_;
    std::string source_;
    std::vector<std::pair<int, std::function<void()>>> listeners_;
    int next_ = 1;
};

} // namespace talmar
