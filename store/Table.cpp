#include "store/Table.h"

#include "store/FileKind.h"
#include "store/Text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sqlite3.h>

namespace talmar {
namespace {

// How long a table waits for another program that holds the file for a moment (the shared
// ОРТЕН table), and how long an exclusive open waits before it reports the file as taken.
constexpr int kSharedBusyMs = 3000;
constexpr int kExclusiveBusyMs = 500;

// Declared types compared without regard to letter case and blanks: "varchar (30)" is VARCHAR(30).
std::string NormalizeType(std::string_view t) {
    std::string out;
    for (char c : t)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The type of a column the program does not define, from its declared type.
TFieldDef ExtraField(const std::string& name, const std::string& declared) {
    TFieldDef f{name, TFieldType::Other, 0, {}, false, declared};
    const std::string t = NormalizeType(declared);
    if (t == "SMALLINT")
        f.type = TFieldType::Smallint;
    else if (t.find("INT") != std::string::npos)
        f.type = TFieldType::Integer;
    else if (t.find("BOOL") != std::string::npos)
        f.type = TFieldType::Boolean;
    else if (t.find("REAL") != std::string::npos || t.find("FLOA") != std::string::npos ||
             t.find("DOUB") != std::string::npos)
        f.type = TFieldType::Float;
    else if (t.find("CHAR") != std::string::npos || t.find("CLOB") != std::string::npos ||
             t.find("TEXT") != std::string::npos) {
        f.type = TFieldType::Memo;
        const auto open = t.find('(');
        const auto close = t.find(')');
        if (t.rfind("VARCHAR(", 0) == 0 && close != std::string::npos && close > open + 1) {
            try {
                f.size = std::stoi(t.substr(open + 1, close - open - 1));
                f.type = TFieldType::Alpha;
            } catch (const std::exception&) {
                f.size = 0;
            }
        }
    }
    return f;
}

bool IsText(TFieldType t) {
    return t == TFieldType::Alpha || t == TFieldType::Memo;
}

class TStmt {
public:
    TStmt(sqlite3* db, const std::string& sql) {
        rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr);
    }
    ~TStmt() { sqlite3_finalize(st_); }
    TStmt(const TStmt&) = delete;
    TStmt& operator=(const TStmt&) = delete;

    bool Ok() const { return rc_ == SQLITE_OK; }
    sqlite3_stmt* Get() const { return st_; }
    int Step() { return sqlite3_step(st_); }

    void Bind(int index, const TValue& v) {
        switch (v.Kind()) {
        case TValue::TKind::Null:
            sqlite3_bind_null(st_, index);
            break;
        case TValue::TKind::Integer:
            sqlite3_bind_int64(st_, index, v.AsInteger());
            break;
        case TValue::TKind::Boolean:
            sqlite3_bind_int(st_, index, v.AsBoolean() ? 1 : 0);
            break;
        case TValue::TKind::Float:
            sqlite3_bind_double(st_, index, v.AsFloat());
            break;
        case TValue::TKind::Text: {
            const std::string s = v.AsString();
            sqlite3_bind_text(st_, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }

    // A column of the current result row as a value of a field of the given type.
    TValue Column(int index, TFieldType type) const {
        switch (sqlite3_column_type(st_, index)) {
        case SQLITE_INTEGER: {
            const sqlite3_int64 v = sqlite3_column_int64(st_, index);
            if (type == TFieldType::Boolean)
                return TValue(v != 0);
            if (type == TFieldType::Float)
                return TValue(static_cast<double>(v));
            return TValue(static_cast<std::int64_t>(v));
        }
        case SQLITE_FLOAT: {
            const double d = sqlite3_column_double(st_, index);
            if (type == TFieldType::Boolean)
                return TValue(d != 0.0);
            return TValue(d);
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st_, index));
            const int n = sqlite3_column_bytes(st_, index);
            return TValue(std::string(p ? p : "", static_cast<std::size_t>(n)));
        }
        default:
            return TValue();
        }
    }

private:
    sqlite3_stmt* st_ = nullptr;
    int rc_ = SQLITE_OK;
};

} // namespace

TTable::TTable(const TTableDef& def, std::string fileName)
    : def_(def), fileName_(fileName.empty() ? def.fileName : std::move(fileName)) {}

TTable::~TTable() {
    // Whoever listened may be gone already; a table that goes away tells no one.
    listeners_.clear();
    Close();
}

void TTable::AddCalculatedField(TFieldDef field, TCalcFunc calc) {
    field.calculated = true;
    calcDefs_.push_back(std::move(field));
    calcFuncs_.push_back(std::move(calc));
}

[[noreturn]] void TTable::Fail(const std::string& what) const {
    const int code = db_ ? (sqlite3_errcode(db_) & 0xFF) : SQLITE_ERROR;
    const std::string msg = db_ ? sqlite3_errmsg(db_) : "";
    const std::string file = "файл " + fileName_;
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw TDbError(TDbError::TKind::Locked, what + ": " + file + " занят другой программой");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        throw TDbError(TDbError::TKind::Damaged, what + ": " + file + " повреждён (" + msg + ")");
    case SQLITE_FULL:
        throw TDbError(TDbError::TKind::General, what + ": нет места на диске для файла " + fileName_);
    case SQLITE_READONLY:
        throw TDbError(TDbError::TKind::General, what + ": " + file + " доступен только для чтения");
    default:
        throw TDbError(TDbError::TKind::General, what + ": ошибка файла " + fileName_ + " (" + msg + ")");
    }
}

void TTable::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail("Не удалось открыть таблицу " + def_.tableName);
}

void TTable::Open() {
    if (Active())
        return;
    const std::string cannot = "Не удалось открыть таблицу " + def_.tableName;
    switch (InspectTableFile(fileName_)) {
    case TFileKind::Missing: {
        std::error_code ec;
        const auto dir = std::filesystem::current_path(ec).string();
        throw TDbError(TDbError::TKind::Missing, cannot + ": нет файла " + fileName_ + " в папке " + dir);
    }
    case TFileKind::Unreadable:
        throw TDbError(TDbError::TKind::General, cannot + ": файл " + fileName_ + " не читается");
    case TFileKind::Empty:
        throw TDbError(TDbError::TKind::Damaged,
                       cannot + ": файл " + fileName_ + " пуст, в нём нет таблицы SQLite");
    case TFileKind::Paradox: {
        std::error_code ec;
        const auto dir = std::filesystem::current_path(ec).string();
        throw TDbError(TDbError::TKind::OldFormat,
                       "Файл " + fileName_ + " в папке " + dir +
                           " - таблица в старом формате (Paradox). Программа работает с таблицами SQLite; "
                           "файл оставлен без изменений. Чтобы перевести таблицы, переложите все файлы "
                           "Paradox (*.DB и *.MB) из этой папки в отдельную папку, например paradox, и "
                           "выполните в этой папке команду: talmar-tables import paradox");
    }
    case TFileKind::Unknown:
        throw TDbError(TDbError::TKind::Damaged,
                       cannot + ": файл " + fileName_ + " повреждён или не является таблицей SQLite");
    case TFileKind::Sqlite:
        break;
    }

    // No SQLITE_OPEN_CREATE: the program never makes a table file of its own accord.
    if (sqlite3_open_v2(fileName_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        try {
            Fail(cannot);
        } catch (...) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw;
        }
    }
    try {
        if (sqlite3_db_readonly(db_, "main") == 1)
            throw TDbError(TDbError::TKind::General,
                           cannot + ": файл " + fileName_ + " доступен только для чтения");
        if (def_.mode == TOpenMode::Exclusive) {
            // In exclusive locking mode SQLite keeps every lock it has taken until the file is
            // closed; an exclusive transaction at open takes the strongest one at once, so no
            // other program can even read the file while it is open here.
            sqlite3_busy_timeout(db_, kExclusiveBusyMs);
            Exec("PRAGMA locking_mode=EXCLUSIVE");
            Exec("BEGIN EXCLUSIVE");
            Exec("COMMIT");
        }
        sqlite3_busy_timeout(db_, kSharedBusyMs);
        Exec("PRAGMA synchronous=FULL");
        {
            TStmt check(db_, "PRAGMA quick_check");
            if (!check.Ok())
                Fail(cannot);
            const int rc = check.Step();
            if (rc != SQLITE_ROW)
                Fail(cannot);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.Get(), 0));
            const std::string result = text ? text : "";
            if (result != "ok")
                throw TDbError(TDbError::TKind::Damaged,
                               cannot + ": файл " + fileName_ + " повреждён (" + result + ")");
        }
        CheckColumns();
        LoadRows();
    } catch (...) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        rows_.clear();
        throw;
    }
    state_ = TTableState::Browse;
    modified_ = false;
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    Notify(TTableEvent::StateChanged);
    Notify(TTableEvent::RecordMoved);
}

void TTable::CheckColumns() {
    const std::string cannot = "Не удалось открыть таблицу " + def_.tableName;
    std::string actualName;
    {
        TStmt find(db_, "SELECT name FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE");
        if (!find.Ok())
            Fail(cannot);
        find.Bind(1, TValue(def_.tableName));
        const int rc = find.Step();
        if (rc == SQLITE_ROW)
            actualName = reinterpret_cast<const char*>(sqlite3_column_text(find.Get(), 0));
        else if (rc != SQLITE_DONE)
            Fail(cannot);
    }
    if (actualName.empty())
        throw TDbError(TDbError::TKind::Definition,
                       "В файле " + fileName_ + " нет таблицы " + def_.tableName);
    quotedTable_ = QuoteId(actualName);

    struct TColumn {
        std::string name;
        std::string type;
        int pk;
    };
    std::vector<TColumn> columns;
    {
        TStmt info(db_, "PRAGMA table_info(" + quotedTable_ + ")");
        if (!info.Ok())
            Fail(cannot);
        int rc;
        while ((rc = info.Step()) == SQLITE_ROW) {
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.Get(), 1));
            const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(info.Get(), 2));
            columns.push_back({name ? name : "", type ? type : "", sqlite3_column_int(info.Get(), 5)});
        }
        if (rc != SQLITE_DONE)
            Fail(cannot);
    }
    {
        // A table without rowid cannot be walked in its physical order; its rows have no number.
        TStmt probe(db_, "SELECT rowid FROM " + quotedTable_ + " LIMIT 0");
        if (!probe.Ok())
            throw TDbError(TDbError::TKind::Definition,
                           "Таблица " + def_.tableName + " в файле " + fileName_ + " объявлена без rowid");
    }

    const auto findColumn = [&](const std::string& name) {
        return std::find_if(columns.begin(), columns.end(),
                            [&](const TColumn& c) { return EqualNoCase(c.name, name); });
    };
    for (const TFieldDef& f : def_.fields) {
        const auto it = findColumn(f.name);
        if (f.calculated) {
            if (it != columns.end())
                throw TDbError(TDbError::TKind::Definition,
                               "В таблице " + fileName_ + " хранится столбец " + f.name +
                                   ", который программа вычисляет сама; уберите его из файла");
            continue;
        }
        if (it == columns.end())
            throw TDbError(TDbError::TKind::Definition, "В таблице " + fileName_ + " нет столбца " + f.name);
        if (NormalizeType(it->type) != DeclaredType(f))
            throw TDbError(TDbError::TKind::Definition,
                           "В таблице " + fileName_ + " столбец " + f.name + " имеет тип " +
                               (it->type.empty() ? std::string("(без типа)") : it->type) +
                               ", а должен быть " + DeclaredType(f));
    }
    for (const TFieldDef& f : calcDefs_)
        if (findColumn(f.name) != columns.end())
            throw TDbError(TDbError::TKind::Definition,
                           "В таблице " + fileName_ + " хранится столбец " + f.name +
                               ", который программа вычисляет сама; уберите его из файла");

    fields_.clear();
    for (const TColumn& c : columns) {
        const auto def = std::find_if(def_.fields.begin(), def_.fields.end(), [&](const TFieldDef& f) {
            return !f.calculated && EqualNoCase(f.name, c.name);
        });
        fields_.push_back(def != def_.fields.end() ? *def : ExtraField(c.name, c.type));
    }
    storedCount_ = static_cast<int>(fields_.size());
    for (const TFieldDef& f : calcDefs_)
        fields_.push_back(f);

    orderBy_.clear();
    if (def_.orderByPrimaryKey) {
        std::vector<const TColumn*> keys;
        for (const TColumn& c : columns)
            if (c.pk > 0)
                keys.push_back(&c);
        std::sort(keys.begin(), keys.end(), [](const TColumn* a, const TColumn* b) { return a->pk < b->pk; });
        for (const TColumn* k : keys)
            orderBy_.push_back(QuoteId(k->name));
    }
    orderBy_.push_back("rowid");
}

void TTable::LoadRows() {
    std::string sql = "SELECT rowid";
    for (int i = 0; i < storedCount_; ++i)
        sql += ", " + QuoteId(fields_[i].name);
    sql += " FROM " + quotedTable_ + " ORDER BY ";
    for (std::size_t i = 0; i < orderBy_.size(); ++i)
        sql += (i ? ", " : "") + orderBy_[i];
    TStmt select(db_, sql);
    if (!select.Ok())
        Fail("Не удалось прочитать таблицу " + def_.tableName);
    std::vector<TRow> rows;
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        TRow row;
        row.rowId = sqlite3_column_int64(select.Get(), 0);
        row.values.reserve(storedCount_);
        for (int i = 0; i < storedCount_; ++i)
            row.values.push_back(Normalized(i, select.Column(i + 1, fields_[i].type)));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        Fail("Не удалось прочитать таблицу " + def_.tableName);
    rows_ = std::move(rows);
}

void TTable::Close() {
    if (!Active())
        return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    rows_.clear();
    cur_ = -1;
    bof_ = eof_ = true;
    state_ = TTableState::Inactive;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    Notify(TTableEvent::StateChanged);
    Notify(TTableEvent::RecordMoved);
}

void TTable::RequireActive() const {
    if (!Active())
        throw TDbError(TDbError::TKind::Closed,
                       "Таблица " + def_.tableName + " (файл " + fileName_ + ") не открыта");
}

// ---- states

void TTable::Edit() {
    RequireActive();
    if (state_ == TTableState::Edit || state_ == TTableState::Insert)
        return;
    if (rows_.empty()) {
        Insert();
        return;
    }
    buf_ = rows_[cur_];
    dirty_.assign(storedCount_, false);
    modified_ = false;
    state_ = TTableState::Edit;
    Notify(TTableEvent::StateChanged);
}

void TTable::Insert() {
    RequireActive();
    CheckBrowseMode();
    buf_ = TRow{0, std::vector<TValue>(storedCount_)};
    dirty_.assign(storedCount_, false);
    modified_ = false;
    state_ = TTableState::Insert;
    bof_ = eof_ = false;
    Notify(TTableEvent::StateChanged);
    Notify(TTableEvent::RecordMoved);
}

void TTable::Post() {
    RequireActive();
    if (state_ == TTableState::Browse)
        return;
    if (state_ == TTableState::Edit && !modified_) {
        state_ = TTableState::Browse;
        Notify(TTableEvent::StateChanged);
        return;
    }
    const std::string cannot = "Запись таблицы " + def_.tableName + " не сохранена";
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(cannot);
    std::int64_t rowId = buf_.rowId;
    try {
        if (state_ == TTableState::Edit) {
            std::string sql = "UPDATE " + quotedTable_ + " SET ";
            std::vector<int> cols;
            for (int i = 0; i < storedCount_; ++i)
                if (dirty_[i]) {
                    sql += (cols.empty() ? "" : ", ") + QuoteId(fields_[i].name) + "=?";
                    cols.push_back(i);
                }
            if (!cols.empty()) {
                sql += " WHERE rowid=?";
                TStmt update(db_, sql);
                if (!update.Ok())
                    Fail(cannot);
                for (std::size_t k = 0; k < cols.size(); ++k)
                    update.Bind(static_cast<int>(k + 1), buf_.values[cols[k]]);
                update.Bind(static_cast<int>(cols.size() + 1), TValue(buf_.rowId));
                if (update.Step() != SQLITE_DONE)
                    Fail(cannot);
                if (sqlite3_changes(db_) != 1)
                    throw TDbError(TDbError::TKind::General,
                                   cannot + ": запись удалена из файла " + fileName_ + " другой программой");
            }
        } else {
            std::string sql = "INSERT INTO " + quotedTable_ + " (";
            std::string marks;
            for (int i = 0; i < storedCount_; ++i) {
                sql += (i ? ", " : "") + QuoteId(fields_[i].name);
                marks += i ? ", ?" : "?";
            }
            sql += ") VALUES (" + marks + ")";
            TStmt insert(db_, sql);
            if (!insert.Ok())
                Fail(cannot);
            for (int i = 0; i < storedCount_; ++i)
                insert.Bind(i + 1, buf_.values[i]);
            if (insert.Step() != SQLITE_DONE)
                Fail(cannot);
            rowId = sqlite3_last_insert_rowid(db_);
        }
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail(cannot);
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }

    // The record is in the file. Read the rows anew: a shared table may have been changed by
    // another program, and the ОРТЕН table keeps the order of its key.
    state_ = TTableState::Browse;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    LoadRows();
    const auto it = std::find_if(rows_.begin(), rows_.end(), [&](const TRow& r) { return r.rowId == rowId; });
    cur_ = it != rows_.end() ? static_cast<int>(it - rows_.begin()) : std::min<int>(cur_, RecordCount() - 1);
    if (cur_ < 0 && !rows_.empty())
        cur_ = 0;
    bof_ = eof_ = rows_.empty();
    Notify(TTableEvent::StateChanged);
    Notify(TTableEvent::DataChanged);
}

void TTable::Cancel() {
    RequireActive();
    if (state_ == TTableState::Browse)
        return;
    state_ = TTableState::Browse;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    bof_ = eof_ = rows_.empty();
    Notify(TTableEvent::StateChanged);
    Notify(TTableEvent::DataChanged);
}

void TTable::Delete() {
    RequireActive();
    if (state_ == TTableState::Insert) {
        Cancel();
        return;
    }
    if (state_ == TTableState::Edit)
        Cancel();
    if (rows_.empty())
        throw TDbError(TDbError::TKind::General, "Таблица " + def_.tableName + " пуста: удалять нечего");
    const std::string cannot = "Запись таблицы " + def_.tableName + " не удалена";
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(cannot);
    try {
        TStmt del(db_, "DELETE FROM " + quotedTable_ + " WHERE rowid=?");
        if (!del.Ok())
            Fail(cannot);
        del.Bind(1, TValue(rows_[cur_].rowId));
        if (del.Step() != SQLITE_DONE)
            Fail(cannot);
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail(cannot);
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    const int old = cur_;
    LoadRows();
    cur_ = std::min(old, RecordCount() - 1);
    bof_ = eof_ = rows_.empty();
    Notify(TTableEvent::DataChanged);
    Notify(TTableEvent::RecordMoved);
}

void TTable::ApplyCommitRule() {
    if ((state_ == TTableState::Edit || state_ == TTableState::Insert) && modified_)
        Post();
}

void TTable::CheckBrowseMode() {
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        return;
    if (modified_)
        Post();
    else
        Cancel();
}

// ---- moving

void TTable::SetCurrent(int index) {
    if (index == cur_)
        return;
    cur_ = index;
    Notify(TTableEvent::RecordMoved);
}

int TTable::RecNo() const {
    return cur_ + 1;
}

void TTable::SetRecNo(int recNo) {
    RequireActive();
    CheckBrowseMode();
    if (rows_.empty())
        return;
    SetCurrent(std::clamp(recNo, 1, RecordCount()) - 1);
    bof_ = eof_ = false;
}

void TTable::First() {
    RequireActive();
    CheckBrowseMode();
    SetCurrent(rows_.empty() ? -1 : 0);
    bof_ = true;
    eof_ = rows_.empty();
}

void TTable::Last() {
    RequireActive();
    CheckBrowseMode();
    SetCurrent(RecordCount() - 1);
    eof_ = true;
    bof_ = rows_.empty();
}

void TTable::Next() {
    RequireActive();
    CheckBrowseMode();
    if (cur_ + 1 < RecordCount()) {
        SetCurrent(cur_ + 1);
        bof_ = eof_ = false;
    } else {
        eof_ = true;
    }
}

void TTable::Prior() {
    RequireActive();
    CheckBrowseMode();
    if (cur_ > 0) {
        SetCurrent(cur_ - 1);
        bof_ = eof_ = false;
    } else {
        bof_ = true;
    }
}

int TTable::MoveBy(int distance) {
    RequireActive();
    CheckBrowseMode();
    int moved = 0;
    while (distance > 0 && cur_ + 1 < RecordCount()) {
        ++cur_;
        --distance;
        ++moved;
    }
    while (distance < 0 && cur_ > 0) {
        --cur_;
        ++distance;
        --moved;
    }
    if (moved != 0) {
        bof_ = eof_ = false;
        Notify(TTableEvent::RecordMoved);
    }
    if (distance > 0)
        eof_ = true;
    if (distance < 0)
        bof_ = true;
    return moved;
}

bool TTable::Locate(std::string_view field, const TValue& value) {
    const int f = FieldIndex(field);
    RequireActive();
    CheckBrowseMode();
    const auto numeric = [](const TValue& v) {
        return v.Kind() == TValue::TKind::Integer || v.Kind() == TValue::TKind::Float ||
               v.Kind() == TValue::TKind::Boolean;
    };
    const std::string wanted = FoldCase(value.AsString());
    for (int r = 0; r < RecordCount(); ++r) {
        const TValue v = ValueAt(r, f);
        bool match;
        if (v.IsNull() || value.IsNull())
            match = v.IsNull() && value.IsNull();
        else if (numeric(v) && numeric(value))
            match = v.AsFloat() == value.AsFloat();
        else
            match = FoldCase(v.AsString()) == wanted;
        if (match) {
            SetCurrent(r);
            bof_ = eof_ = false;
            return true;
        }
    }
    return false;
}

std::int64_t TTable::RowId() const {
    if (state_ == TTableState::Insert || cur_ < 0)
        return 0;
    return rows_[cur_].rowId;
}

std::int64_t TTable::RowIdAt(int row) const {
    RequireActive();
    if (row < 0 || row >= RecordCount())
        throw std::out_of_range("TTable::RowIdAt");
    return rows_[row].rowId;
}

bool TTable::GotoRowId(std::int64_t rowId) {
    RequireActive();
    CheckBrowseMode();
    const auto it = std::find_if(rows_.begin(), rows_.end(), [&](const TRow& r) { return r.rowId == rowId; });
    if (it == rows_.end())
        return false;
    SetCurrent(static_cast<int>(it - rows_.begin()));
    bof_ = eof_ = false;
    return true;
}

// ---- fields

const TFieldDef& TTable::Field(int index) const {
    return fields_.at(static_cast<std::size_t>(index));
}

int TTable::FindField(std::string_view name) const {
    const std::string folded = FoldCase(name);
    for (int i = 0; i < FieldCount(); ++i)
        if (FoldCase(fields_[i].name) == folded)
            return i;
    return -1;
}

int TTable::FieldIndex(std::string_view name) const {
    const int i = FindField(name);
    if (i < 0)
        RequireActive(); // a closed table is reported as closed, not as lacking the field
    if (i < 0)
        throw TDbError(TDbError::TKind::General,
                       "В таблице " + def_.tableName + " нет поля " + std::string(name));
    return i;
}

const std::vector<TValue>* TTable::RecordValues(int row) const {
    if ((state_ == TTableState::Edit || state_ == TTableState::Insert) && row == cur_)
        return &buf_.values;
    if (row < 0 || row >= RecordCount())
        return nullptr;
    return &rows_[row].values;
}

TValue TTable::Value(int field) const {
    RequireActive();
    if (field < 0 || field >= FieldCount())
        throw TDbError(TDbError::TKind::General,
                       "В таблице " + def_.tableName + " нет поля номер " + std::to_string(field));
    const std::vector<TValue>* rec = state_ == TTableState::Insert ? &buf_.values : RecordValues(cur_);
    if (!rec)
        return TValue();
    if (field < storedCount_)
        return (*rec)[field];
    return calcFuncs_[field - storedCount_](*this, *rec);
}

TValue TTable::ValueAt(int row, int field) const {
    RequireActive();
    if (field < 0 || field >= FieldCount() || row < 0 || row >= RecordCount())
        throw std::out_of_range("TTable::ValueAt");
    const std::vector<TValue>* rec =
        (state_ == TTableState::Edit && row == cur_) ? &buf_.values : &rows_[row].values;
    if (field < storedCount_)
        return (*rec)[field];
    return calcFuncs_[field - storedCount_](*this, *rec);
}

TValue TTable::Normalized(int field, TValue value) const {
    // An empty text is an empty field, as the old tables stored it.
    if (IsText(fields_[field].type) && value.Kind() == TValue::TKind::Text && value.AsString().empty())
        return TValue();
    return value;
}

TValue TTable::Convert(int field, const TValue& value) const {
    const TFieldDef& f = fields_[field];
    if (value.IsNull())
        return value;
    try {
        switch (f.type) {
        case TFieldType::Integer:
        case TFieldType::Smallint: {
            const std::int64_t v = value.AsInteger();
            const std::int64_t lo = f.type == TFieldType::Smallint ? -32768 : -2147483648LL;
            const std::int64_t hi = f.type == TFieldType::Smallint ? 32767 : 2147483647LL;
            if (v < lo || v > hi)
                throw TConvertError("значение " + std::to_string(v) + " вне пределов " + std::to_string(lo) +
                                    ".." + std::to_string(hi));
            return TValue(v);
        }
        case TFieldType::Float:
            return TValue(value.AsFloat());
        case TFieldType::Boolean:
            return TValue(value.AsBoolean());
        case TFieldType::Alpha: {
            const std::string s = value.AsString();
            if (Utf8Length(s) > static_cast<std::size_t>(f.size))
                throw TConvertError("текст длиннее " + std::to_string(f.size) + " символов");
            return Normalized(field, TValue(s));
        }
        case TFieldType::Memo:
            return Normalized(field, TValue(value.AsString()));
        case TFieldType::Other:
            return value;
        }
    } catch (const TConvertError& e) {
        throw TConvertError("Поле " + f.name + ": " + e.what());
    }
    return value;
}

void TTable::SetValue(int field, const TValue& value) {
    RequireActive();
    if (field < 0 || field >= FieldCount())
        throw TDbError(TDbError::TKind::General,
                       "В таблице " + def_.tableName + " нет поля номер " + std::to_string(field));
    if (field >= storedCount_)
        throw TDbError(TDbError::TKind::General,
                       "Поле " + fields_[field].name + " вычисляется программой и не изменяется");
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        throw TDbError(TDbError::TKind::General, "Таблица " + def_.tableName +
                                                     " не в режиме редактирования: поле " +
                                                     fields_[field].name + " не изменено");
    TValue v = Convert(field, value);
    if (buf_.values[field] == v)
        return;
    buf_.values[field] = std::move(v);
    dirty_[field] = true;
    modified_ = true;
    Notify(TTableEvent::FieldChanged, field);
    for (int i = storedCount_; i < FieldCount(); ++i)
        Notify(TTableEvent::FieldChanged, i);
}

// ---- notifications

int TTable::Subscribe(TTableListener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void TTable::Unsubscribe(int id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void TTable::Notify(TTableEvent event, int field) {
    const auto copy = listeners_;
    for (const auto& l : copy)
        l.second(TTableChange{event, field});
}

} // namespace talmar
