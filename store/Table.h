#pragma once
// A table file opened as a data set: the records of the file held in memory in their order, one
// current record, and the browse / edit / insert states that the editors, the image builder and
// the system switch work with.
//
// Every post is one SQLite transaction written with synchronous=FULL through a rollback journal:
// after a crash or a power cut each record is either as it was or as posted. Rows are told
// apart by their rowid. Errors of the file come as TDbError, values that do not convert as
// TConvertError; both carry a Russian text for the user.

#include "store/DbError.h"
#include "store/TableDef.h"
#include "store/Value.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace talmar {

enum class TTableState { Inactive, Browse, Edit, Insert };

// What a change notification reports. Data-bound controls subscribe to these.
enum class TTableEvent {
    RecordMoved,  // another record became current (or the table was opened or closed)
    FieldChanged, // a field of the current record got a new value; field says which
    StateChanged, // browse / edit / insert / inactive
    DataChanged,  // records were written, added or deleted: every row may show other values
};

struct TTableChange {
    TTableEvent event;
    int field = -1;
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
    // throws TDbError naming the file, and the table stays closed.
    void Open();
    // Closes the file. A pending edit is dropped: apply the commit rule first to keep it.
    void Close();
    bool Active() const { return db_ != nullptr; }

    // A calculated field, computed from the current record whenever it is read. Add before Open.
    void AddCalculatedField(TFieldDef field, TCalcFunc calc);

    // ---- states
    TTableState State() const { return state_; }
    // A field was changed since the record entered edit or insert state.
    bool Modified() const { return modified_; }
    // Edit state for the current record; on an empty table a new record is started instead.
    void Edit();
    // A new, empty record (every field null); a pending edit is posted first.
    void Insert();
    void Append() { Insert(); }
    // Writes the edited or new record to the file in one transaction and returns to browse.
    // On failure the record stays in its state with its values and TDbError is thrown.
    void Post();
    void Cancel();
    // Deletes the current record (a pending insert is just dropped).
    void Delete();
    // Posts the current record if it is in edit or insert state and modified; otherwise nothing.
    void ApplyCommitRule();

    // ---- moving. Every move posts a modified pending edit first and drops an unmodified one.
    int RecordCount() const { return static_cast<int>(rows_.size()); }
    bool IsEmpty() const { return rows_.empty(); }
    int RecNo() const; // 1-based; 0 on an empty table
    void SetRecNo(int recNo);
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance); // returns how many records it moved (negative backwards)
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    // Makes current the first record whose field equals value, text compared without regard
    // to letter case. Returns false (and stays) when there is none.
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
    int FieldIndex(std::string_view name) const; // throws TDbError when absent

    TValue Value(int field) const; // of the current record (the edited values while editing)
    TValue FieldByName(std::string_view name) const { return Value(FieldIndex(name)); }
    // Needs edit or insert state. The value is converted to the column's type (TConvertError
    // when it does not fit); the record becomes modified only when the value really changes.
    void SetValue(int field, const TValue& value);
    void SetFieldByName(std::string_view name, const TValue& value) { SetValue(FieldIndex(name), value); }
    // A stored value of any record (0-based row) without moving, for grids and indexes. The row
    // being edited shows its edited values.
    TValue ValueAt(int row, int field) const;

    // ---- notifications. A listener must not move, edit or close the table it listens to, and
    // must unsubscribe before it goes away.
    int Subscribe(TTableListener listener);
    void Unsubscribe(int id);

private:
    struct TRow {
        std::int64_t rowId = 0;
        std::vector<TValue> values;
    };

    void RequireActive() const;
    const std::vector<TValue>* RecordValues(int row) const;
    void CheckBrowseMode();
    void SetCurrent(int index);
    void LoadRows();
    void CheckColumns();
    TValue Convert(int field, const TValue& value) const;
    TValue Normalized(int field, TValue value) const;
    void Notify(TTableEvent event, int field = -1);
    [[noreturn]] void Fail(const std::string& what) const;
    void Exec(const char* sql);

    TTableDef def_;
    std::string fileName_;
    sqlite3* db_ = nullptr;
    std::string quotedTable_;
    std::vector<TFieldDef> fields_;
    std::vector<TFieldDef> calcDefs_;
    std::vector<TCalcFunc> calcFuncs_; // of the fields after the stored ones, in order
    int storedCount_ = 0;
    std::vector<std::string> orderBy_;

    std::vector<TRow> rows_;
    int cur_ = -1;
    bool bof_ = true;
    bool eof_ = true;

    TTableState state_ = TTableState::Inactive;
    bool modified_ = false;
    TRow buf_;
    std::vector<bool> dirty_;

    std::vector<std::pair<int, TTableListener>> listeners_;
    int nextListener_ = 1;
};

} // namespace talmar
