#pragma once
// A table file opened as a data set: the records of the file held in memory in their order, one
// current record, and the browse / edit / insert states that the editors, the image builder and
// the system switch work with.
//
// Every post is one SQLite transaction written through a rollback journal with synchronous=EXTRA:
// after a crash or a power cut each record is either as it was or as posted, and a post that has
// returned is kept. Rows are told apart by their rowid. Errors of the file come as ETableError, values
// that do not convert as EValueError; both carry a Russian text for the user.

#include "base/Errors.h"
#include "store/TableDef.h"
#include "store/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace talmar {

enum class TTableState { Inactive, Browse, Edit, Insert };

// What a notification reports. Data-bound controls, grids and indexes subscribe to these.
//
// Before notices come while the table is still as it was, so that bound controls can hand over
// what the user is still typing:
//   BeforeMove  another record is about to become current (a move to another record, Insert,
//               Append). It comes before a modified record is posted by the move.
//   BeforePost  the record in edit or insert state is about to be posted if it is modified
//               (Post, the commit rule, a move, Insert). A move sends BeforeMove, then
//               BeforePost. The record may still turn out unmodified, and then nothing is posted.
// In a before notice a listener may read anything, call SetValue on the current record and call
// Edit. Nothing else that changes the table is allowed (std::logic_error). An exception thrown
// by a before listener (a typed text that does not convert) stops the operation: nothing is
// posted and the current record stays; the listeners after it do not hear the notice.
//
// After notices tell what has changed; when one is sent the table is already in its new state,
// apart from the notices that follow it for the same operation. In them a listener may only read
// the table: a call that would change it throws std::logic_error. They must not throw.
//   RecordMoved   the current record, or its row index, is another one (also at Open and Close,
//                 and after RowsReset); row is the new index (RecNo() - 1), -1 when there is none
//   FieldChanged  field of the current record (row) got a new value through SetValue; the
//                 calculated fields that depend on it follow, one notice each
//   StateChanged  browse / edit / insert / inactive
//   RowChanged    every field of row may show another value (a posted record read back, a
//                 cancelled edit, a change made by another program)
//   RowInserted   a row appeared at index row; the rows from there on moved down by one
//   RowRemoved    the row at index row went away; the rows after it moved up by one
//   RowsReset     the rows were replaced (Open, Close, a reload that found more than one row
//                 added, removed or moved); count and read them anew
// The row notices of one operation come in order (applying them one after the other to the
// rows as they were gives the rows as they are), then StateChanged, then RecordMoved.
//
// How the two kinds of client use them:
//   a bound control shows its field again on RecordMoved, RowsReset and StateChanged, on
//   RowChanged of the current row (row == RecNo() - 1) and on FieldChanged of its field; it hands
//   over text the user is still typing on BeforeMove and BeforePost (Edit, then SetValue).
//   Edit on a table without records starts a new record and sends RowInserted, StateChanged and
//   RecordMoved: a control that calls Edit at the user's first keystroke keeps its text then.
//   A grid keeps its own row count and applies RowInserted, RowRemoved, RowChanged and
//   FieldChanged (one cell) to it as they come, starts over on RowsReset, and selects the row
//   of RecordMoved; it never needs to reset for a post, a delete or a new record.
enum class TTableEvent {
    BeforeMove,
    BeforePost,
    RecordMoved,
    FieldChanged,
    StateChanged,
    RowChanged,
    RowInserted,
    RowRemoved,
    RowsReset,
};

struct TTableChange {
    TTableEvent event;
    int field = -1; // FieldChanged
    int row = -1;   // RecordMoved, FieldChanged and the row notices: a 0-based row index
};

using TTableListener = std::function<void(const TTableChange&)>;

class TTable {
public:
    // Computes a calculated field from the stored values of one record (in field order).
    using TCalcFunc = std::function<TValue(const TTable&, const std::vector<TValue>& record)>;

    // def gives the component name, the file name, the open mode and the columns the file must
    // hold. fileName overrides the definition's file (tests); it is relative to the current
    // directory at Open.
    explicit TTable(const TTableDef& def, std::string fileName = {});
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    const std::string& Name() const { return def_.component; }
    const std::string& FileName() const { return fileName_; }
    const TTableDef& Definition() const { return def_; }

    // Opens the file and reads its records; the first record becomes current. A missing,
    // locked, damaged or old-format file, or one whose columns do not match the definition,
    // throws ETableError naming the file, and the table stays closed. An exclusive table is closed
    // to every other program (and to another TTable of this process) until Close, even when other
    // code of this process opens and closes the same file. Sends RowsReset, StateChanged and
    // RecordMoved.
    void Open();
    // Closes the file. A pending edit is dropped: apply the commit rule first to keep it. Sends
    // RowsReset, StateChanged and RecordMoved.
    void Close();
    bool Active() const { return db_ != nullptr; }

    // A calculated field, computed from the current record whenever it is read. Add before Open.
    void AddCalculatedField(TFieldDef field, TCalcFunc calc);

    // ---- states
    //
    // The rows of the table are its records in the file's order, plus, in insert state, the new
    // record as the last row (where a post puts it; a table read in the order of its key moves it
    // to its key's place when it is posted). RecordCount, RecNo, ValueAt and the row notices all
    // count that row: a grid shows the new record while it is being typed.
    TTableState State() const { return state_; }
    // A field was changed since the record entered edit or insert state.
    bool Modified() const { return modified_; }
    // Edit state for the current record; on a table without records a new record is started
    // instead (insert state, as Insert but without BeforeMove). Nothing in edit or insert state.
    void Edit();
    // A new, empty record (every field null) as the last row. Sends BeforeMove; a modified
    // pending record is posted first, an unmodified one dropped. In insert state with the new
    // record still unmodified nothing happens.
    void Insert();
    void Append() { Insert(); }
    // Sends BeforePost, then writes the edited or new record to the file in one transaction and
    // returns to browse. Only the columns that were changed are written to an edited record. On
    // failure the record stays in its state with its values and ETableError is thrown.
    void Post();
    // Drops the pending edit (the row shows its stored values again) or the new record (its row
    // goes away and the record that was current before Insert is current again).
    void Cancel();
    // Deletes the current record; the record after it becomes current (the one before it when
    // it was the last). In insert state the new record is just dropped, as Cancel does.
    void Delete();
    // The commit rule: in edit or insert state sends BeforePost and posts the record if it is
    // modified; otherwise nothing.
    void ApplyCommitRule();
    // Reads the file anew in browse state and tells what changed (another program may write a
    // shared table). Returns false, doing nothing, in edit or insert state.
    bool Refresh();

    // ---- moving
    //
    // A move to another record sends BeforeMove, posts a modified pending record (BeforePost
    // first) or drops an unmodified one, and makes the target current. A move whose target is
    // the current record changes nothing and sends nothing: the pending edit stays as it is.
    int RecordCount() const;
    bool IsEmpty() const { return RecordCount() == 0; }
    int RecNo() const { return cur_ + 1; } // 1-based; 0 when there is no record
    void SetRecNo(int recNo);              // clamped to 1..RecordCount()
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance); // returns how many rows it moved (negative backwards)
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    // Makes current the first record whose field equals value, text compared without regard
    // to letter case (Cyrillic included). Returns false (and stays) when there is none.
    bool Locate(std::string_view field, const TValue& value);
    std::int64_t RowId() const; // of the current record; 0 when there is none or it is new
    // The row id of any record (0-based row), without moving: how a grid names its selected rows.
    std::int64_t RowIdAt(int row) const;
    bool GotoRowId(std::int64_t rowId);

    // ---- fields. Stored fields come first, in the order of the file, then calculated ones.
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    int StoredFieldCount() const { return storedCount_; }
    const TFieldDef& Field(int index) const;
    int FindField(std::string_view name) const;  // ignoring letter case; -1 when absent
    int FieldIndex(std::string_view name) const; // throws ETableError when absent

    TValue Value(int field) const; // of the current record (the edited values while editing)
    TValue FieldByName(std::string_view name) const { return Value(FieldIndex(name)); }
    // Needs edit or insert state. The value is converted to the column's type; text that is
    // empty or only blanks is an empty (null) value for every column type. A value that does
    // not convert throws EValueError naming table, КП and column, and changes nothing. The
    // record becomes modified only when the value really changes; then FieldChanged is sent.
    void SetValue(int field, const TValue& value);
    void SetFieldByName(std::string_view name, const TValue& value) { SetValue(FieldIndex(name), value); }
    // The stored fields 0, 1, ... of the current record from values, all or none: every value is
    // converted first, and the first that does not convert throws EValueError before any field
    // is changed. Needs edit or insert state, as SetValue.
    void SetValues(const std::vector<TValue>& values);
    // The current record's value of a stored field as the column would take it typed: converted
    // and range-checked (a file may hold what no one could type). EValueError names table,
    // КП and column when it would be refused.
    TValue CheckedValue(int field) const;
    // Where a field of the current record lies, for messages: table, record and КП, column.
    std::string Place(int field) const;
    // A value of any row (0-based) without moving, for grids and indexes. The row being edited
    // or inserted shows its edited values.
    TValue ValueAt(int row, int field) const;

    // ---- notifications (see TTableEvent for what a listener may do in each). A listener may
    // unsubscribe itself or another listener at any time, during a notification too: from
    // then on it is not called again. One subscribed during a notification hears the next one.
    int Subscribe(TTableListener listener);
    void Unsubscribe(int id);

private:
    struct TRow {
        std::int64_t rowId = 0;
        std::vector<TValue> values;
    };
    struct TListenerSlot {
        int id;
        TTableListener listener;
        bool subscribed = true;
    };
    // Which record listeners were last told is current: none, a stored row, the new record.
    struct TCurrent {
        int index = -1;
        int kind = 0; // 0 none, 1 stored row (id), 2 the new record
        std::int64_t id = 0;
        bool operator==(const TCurrent&) const = default;
    };
    enum class TNotice { None, Before, After };

    void RequireActive() const;
    void ReleaseLock();
    void RequireChangeAllowed(bool inBeforeNotice) const;
    const std::vector<TValue>& RowValues(int row) const;
    int StoredIndex(std::int64_t rowId) const;
    TCurrent Current() const;
    void MoveTo(int row);
    void LeaveEditState();
    void StartInsert();
    void PostPending();
    void DropPending();
    std::vector<TRow> ReadRows();
    void Reload(std::vector<TRow> shown, std::optional<std::int64_t> keepId, int fallback, bool stateChanged);
    bool NotifyRowChanges(const std::vector<TRow>& shown);
    void CheckColumns();
    TValue Convert(int field, const TValue& value) const;
    TValue Normalized(int field, TValue value) const;
    void Notify(TTableEvent event, int field = -1, int row = -1);
    void NotifyBefore(TTableEvent event);
    void NotifyCurrent();
    void Send(TNotice kind, const TTableChange& change);
    [[noreturn]] void Fail(const std::string& what) const;
    void Exec(const char* sql);
    std::string Pragma(const char* sql, const std::string& cannot);

    TTableDef def_;
    std::string fileName_;
    sqlite3* db_ = nullptr;
    int lockFd_ = -1; // holds the lock of an exclusive table
    std::string quotedTable_;
    std::vector<TFieldDef> fields_;
    std::vector<TFieldDef> calcDefs_;
    std::vector<TCalcFunc> calcFuncs_; // of the fields after the stored ones, in order
    int storedCount_ = 0;
    std::vector<std::string> orderBy_;
    std::string rowIdName_; // "rowid", or "_rowid_" or "oid" when a column is named so

    std::vector<TRow> rows_; // the stored records; the new record of insert state is not among them
    int cur_ = -1;           // row index; rows_.size() for the new record
    bool bof_ = true;
    bool eof_ = true;

    TTableState state_ = TTableState::Inactive;
    bool modified_ = false;
    TRow buf_; // the values of the record in edit or insert state
    std::vector<bool> dirty_;
    std::optional<std::int64_t> returnTo_; // the record current before Insert

    std::vector<std::shared_ptr<TListenerSlot>> listeners_;
    int nextListener_ = 1;
    TNotice notice_ = TNotice::None;
    TCurrent told_;
    bool forceMoved_ = false;
};

} // namespace talmar
