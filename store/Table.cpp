#include "store/Table.h"

#include "store/FileKind.h"
#include "store/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#ifdef _WIN32
#include "base/Utf8Path.h"
#include "base/WinApi.h"

#include <io.h>
#else
#include <unistd.h>
#endif

namespace talmar {
namespace {

// How long a table waits for another program that holds the file for a moment (the shared
// ОРТЕН table), and how long an exclusive open waits before it reports the file as taken.
constexpr int kSharedBusyMs = 3000;
constexpr int kExclusiveBusyMs = 500;

// The bytes of a database file that SQLite's own locking takes in every program: the pending
// byte at 1 GiB, the reserved byte and the 510 shared bytes after it.
constexpr off_t kSqliteLockFirst = 0x40000000;
constexpr off_t kSqliteLockBytes = 512;

#ifdef _WIN32

// An exclusive table is held by an exclusive LockFileEx lock on those bytes, taken on a handle of
// its own: another program's SQLite finds them taken and can neither read nor write the file.
// Such a table is worked on through SQLite's "win32-none" file layer, which takes no locks: a
// lock of its own handle would conflict with ours on the same bytes. Returns the descriptor whose
// handle holds the lock, or -1 with errno (EAGAIN when another holds the file).
constexpr const char* kNoLockVfs = "win32-none";

int TakeExclusiveLock(const std::string& file) {
    const int fd = ::_wopen(PathFromUtf8(file).c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        // A program that opened the file without sharing it holds it: the file is taken.
        if (_doserrno == ERROR_SHARING_VIOLATION || _doserrno == ERROR_LOCK_VIOLATION)
            errno = EAGAIN;
        return -1;
    }
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(kSqliteLockFirst);
    at.OffsetHigh = 0;
    // Another program may hold the file for a moment (a reader); wait a little for it.
    DWORD err = 0;
    for (int waited = 0;; waited += 20) {
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                       static_cast<DWORD>(kSqliteLockBytes), 0, &at))
            return fd;
        err = GetLastError();
        if (err != ERROR_LOCK_VIOLATION || waited >= kExclusiveBusyMs)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::_close(fd);
    errno = err == ERROR_LOCK_VIOLATION ? EAGAIN : EIO;
    return -1;
}

void DropExclusiveLock(int fd) {
    ::_close(fd); // closing the handle releases its lock
}

#else

// An exclusive table is held by a write lock on those bytes, taken on an open file description
// of its own (an OFD lock): another program's SQLite finds them taken and can neither read nor
// write the file. Unlike the POSIX record locks SQLite takes, an OFD lock is not dropped when
// some other code of this process opens and closes the same file, so the table stays closed to
// others for as long as it is open here. Such a table is worked on through SQLite's "unix-none"
// file layer, which takes no POSIX locks: in this process they would conflict with the OFD lock
// on the same bytes. Returns the descriptor that holds the lock, or -1 with errno (EAGAIN when
// another holds the file).
int TakeExclusiveLock(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kSqliteLockFirst;
    lock.l_len = kSqliteLockBytes;
    // Another program may hold the file for a moment (a reader); wait a little for it.
    for (int waited = 0;; waited += 20) {
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
            return fd;
        if ((errno != EAGAIN && errno != EACCES) || waited >= kExclusiveBusyMs)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int error = errno == EACCES ? EAGAIN : errno;
    ::close(fd);
    errno = error;
    return -1;
}

constexpr const char* kNoLockVfs = "unix-none";

void DropExclusiveLock(int fd) {
    ::close(fd); // the only descriptor of its file description: the lock goes with it
}

#endif

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
        throw ETableError(ETableError::TFault::Locked, what + ": " + file + " занят другой программой");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        throw ETableError(ETableError::TFault::Damaged, what + ": " + file + " повреждён (" + msg + ")");
    case SQLITE_FULL:
        throw ETableError(ETableError::TFault::General, what + ": нет места на диске для файла " + fileName_);
    case SQLITE_READONLY:
        throw ETableError(ETableError::TFault::General, what + ": " + file + " доступен только для чтения");
    default:
        throw ETableError(ETableError::TFault::General,
                          what + ": ошибка файла " + fileName_ + " (" + msg + ")");
    }
}

std::string TTable::Pragma(const char* sql, const std::string& cannot) {
    TStmt st(db_, sql);
    if (!st.Ok() || st.Step() != SQLITE_ROW)
        Fail(cannot);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.Get(), 0));
    return text ? text : "";
}

void TTable::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail("Не удалось открыть таблицу " + def_.tableName);
}

void TTable::Open() {
    RequireChangeAllowed(false);
    if (Active())
        return;
    const std::string cannot = "Не удалось открыть таблицу " + def_.tableName;
    switch (InspectTableFile(fileName_)) {
    case TFileKind::Missing: {
        std::error_code ec;
        const auto dir = std::filesystem::current_path(ec).string();
        throw ETableError(ETableError::TFault::Missing,
                          cannot + ": нет файла " + fileName_ + " в папке " + dir);
    }
    case TFileKind::Unreadable:
        throw ETableError(ETableError::TFault::General, cannot + ": файл " + fileName_ + " не читается");
    case TFileKind::Empty:
        throw ETableError(ETableError::TFault::Damaged,
                          cannot + ": файл " + fileName_ + " пуст, в нём нет таблицы SQLite");
    case TFileKind::Paradox: {
        std::error_code ec;
        const auto dir = std::filesystem::current_path(ec).string();
        throw ETableError(ETableError::TFault::OldFormat,
                          "Файл " + fileName_ + " в папке " + dir +
                              " - таблица в старом формате (Paradox). Программа работает с таблицами SQLite; "
                              "файл оставлен без изменений. Чтобы перевести таблицы, переложите все файлы "
                              "Paradox (*.DB и *.MB) из этой папки в отдельную папку, например paradox, и "
                              "выполните в этой папке команду: talmar-tables import paradox");
    }
    case TFileKind::Unknown:
        throw ETableError(ETableError::TFault::Damaged,
                          cannot + ": файл " + fileName_ + " повреждён или не является таблицей SQLite");
    case TFileKind::Sqlite:
        break;
    }

    const bool exclusive = def_.mode == TOpenMode::Exclusive;
    if (exclusive) {
        lockFd_ = TakeExclusiveLock(fileName_);
        if (lockFd_ < 0) {
            const int error = errno;
            if (error == EAGAIN)
                throw ETableError(ETableError::TFault::Locked,
                                  cannot + ": файл " + fileName_ + " занят другой программой");
            if (error == EACCES || error == EROFS || error == EPERM)
                throw ETableError(ETableError::TFault::General,
                                  cannot + ": файл " + fileName_ + " доступен только для чтения");
            throw ETableError(ETableError::TFault::General,
                              cannot + ": ошибка файла " + fileName_ + " (" + std::strerror(error) + ")");
        }
    }
    // No SQLITE_OPEN_CREATE: the program never makes a table file of its own accord.
    if (sqlite3_open_v2(fileName_.c_str(), &db_, SQLITE_OPEN_READWRITE, exclusive ? kNoLockVfs : nullptr) !=
        SQLITE_OK) {
        try {
            Fail(cannot);
        } catch (...) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            ReleaseLock();
            throw;
        }
    }
    try {
        if (sqlite3_db_readonly(db_, "main") == 1)
            throw ETableError(ETableError::TFault::General,
                              cannot + ": файл " + fileName_ + " доступен только для чтения");
        if (exclusive) {
            // No one else reads or writes the file while the lock is held: SQLite may keep its
            // page cache from one transaction to the next.
            Exec("PRAGMA locking_mode=EXCLUSIVE");
        }
        sqlite3_busy_timeout(db_, kSharedBusyMs);
        // A post is one transaction through a rollback journal (a file may have been left in
        // another journal mode by some tool). EXTRA syncs the file, the journal and, when the
        // journal is deleted at the commit, its folder too: a post that has returned survives a
        // power cut, and one cut short is rolled back whole at the next open.
        if (const std::string mode = Pragma("PRAGMA journal_mode=DELETE", cannot); mode != "delete")
            throw ETableError(ETableError::TFault::General,
                              cannot + ": файл " + fileName_ +
                                  " не удалось перевести в режим журнала отката (" + mode +
                                  "); закройте другие программы, открывшие его");
        Exec("PRAGMA synchronous=EXTRA");
        if (const std::string result = Pragma("PRAGMA quick_check", cannot); result != "ok")
            throw ETableError(ETableError::TFault::Damaged,
                              cannot + ": файл " + fileName_ + " повреждён (" + result + ")");
        CheckColumns();
        rows_ = ReadRows();
    } catch (...) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        ReleaseLock();
        rows_.clear();
        throw;
    }
    state_ = TTableState::Browse;
    modified_ = false;
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    forceMoved_ = true;
    Notify(TTableEvent::RowsReset);
    Notify(TTableEvent::StateChanged);
    NotifyCurrent();
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
        throw ETableError(ETableError::TFault::Definition,
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
    // Rows are told apart by their rowid. A column of the file may carry one of its names, and
    // then that name means the column: take a name that no column has, or posts and deletes
    // would touch the records whose column holds the number.
    rowIdName_.clear();
    for (const char* alias : {"rowid", "_rowid_", "oid"})
        if (std::none_of(columns.begin(), columns.end(),
                         [&](const TColumn& c) { return EqualNoCase(c.name, alias); })) {
            rowIdName_ = alias;
            break;
        }
    if (rowIdName_.empty())
        throw ETableError(ETableError::TFault::Definition,
                          "В таблице " + fileName_ +
                              " есть столбцы rowid, _rowid_ и oid: записи таблицы "
                              "нельзя различить. Переименуйте эти столбцы");
    {
        // A table without rowid cannot be walked in its physical order; its rows have no number.
        TStmt probe(db_, "SELECT " + rowIdName_ + " FROM " + quotedTable_ + " LIMIT 0");
        if (!probe.Ok())
            throw ETableError(ETableError::TFault::Definition,
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
                throw ETableError(ETableError::TFault::Definition,
                                  "В таблице " + fileName_ + " хранится столбец " + f.name +
                                      ", который программа вычисляет сама; уберите его из файла");
            continue;
        }
        if (it == columns.end())
            throw ETableError(ETableError::TFault::Definition,
                              "В таблице " + fileName_ + " нет столбца " + f.name);
        if (NormalizeType(it->type) != DeclaredType(f))
            throw ETableError(ETableError::TFault::Definition,
                              "В таблице " + fileName_ + " столбец " + f.name + " имеет тип " +
                                  (it->type.empty() ? std::string("(без типа)") : it->type) +
                                  ", а должен быть " + DeclaredType(f));
    }
    for (const TFieldDef& f : calcDefs_)
        if (findColumn(f.name) != columns.end())
            throw ETableError(ETableError::TFault::Definition,
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
    orderBy_.push_back(rowIdName_);
}

std::vector<TTable::TRow> TTable::ReadRows() {
    std::string sql = "SELECT " + rowIdName_;
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
    return rows;
}

void TTable::Close() {
    RequireChangeAllowed(false);
    if (!Active())
        return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    ReleaseLock();
    rows_.clear();
    cur_ = -1;
    bof_ = eof_ = true;
    state_ = TTableState::Inactive;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    forceMoved_ = true;
    Notify(TTableEvent::RowsReset);
    Notify(TTableEvent::StateChanged);
    NotifyCurrent();
}

void TTable::ReleaseLock() {
    if (lockFd_ >= 0)
        DropExclusiveLock(lockFd_);
    lockFd_ = -1;
}

void TTable::RequireActive() const {
    if (!Active())
        throw ETableError(ETableError::TFault::Closed,
                          "Таблица " + def_.tableName + " (файл " + fileName_ + ") не открыта");
}

// A listener that changes the table it is hearing about would pull the rows from under the
// operation that is telling it; only a before notice lets it write the current record.
void TTable::RequireChangeAllowed(bool inBeforeNotice) const {
    if (notice_ == TNotice::None || (notice_ == TNotice::Before && inBeforeNotice))
        return;
    throw std::logic_error("Таблица " + def_.tableName +
                           ": изменение таблицы из обработчика её уведомления не допускается");
}

// ---- rows

int TTable::RecordCount() const {
    return static_cast<int>(rows_.size()) + (state_ == TTableState::Insert ? 1 : 0);
}

const std::vector<TValue>& TTable::RowValues(int row) const {
    if ((state_ == TTableState::Edit || state_ == TTableState::Insert) && row == cur_)
        return buf_.values;
    return rows_[static_cast<std::size_t>(row)].values;
}

int TTable::StoredIndex(std::int64_t rowId) const {
    const auto it = std::find_if(rows_.begin(), rows_.end(), [&](const TRow& r) { return r.rowId == rowId; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

TTable::TCurrent TTable::Current() const {
    if (cur_ < 0)
        return {};
    if (state_ == TTableState::Insert)
        return {cur_, 2, 0};
    return {cur_, 1, rows_[cur_].rowId};
}

// Replaces the rows listeners know (shown) by the rows of the file, keeps the record keepId
// current when it is still there (else the row at fallback, clamped) and tells what changed.
// When the file cannot be read the rows stay as shown and the error is thrown after the notices.
void TTable::Reload(std::vector<TRow> shown, std::optional<std::int64_t> keepId, int fallback,
                    bool stateChanged) {
    std::exception_ptr error;
    try {
        rows_ = ReadRows();
    } catch (...) {
        error = std::current_exception();
        rows_ = shown;
    }
    const int at = keepId ? StoredIndex(*keepId) : -1;
    cur_ = at >= 0 ? at : std::min(fallback, static_cast<int>(rows_.size()) - 1);
    if (cur_ < 0 && !rows_.empty())
        cur_ = 0;
    bof_ = eof_ = rows_.empty();
    if (NotifyRowChanges(shown))
        forceMoved_ = true;
    if (stateChanged)
        Notify(TTableEvent::StateChanged);
    if (error)
        std::rethrow_exception(error);
}

// The row notices that turn shown into rows_: at most one row added, removed or moved, and then
// the rows whose values differ. Anything more is told as RowsReset; returns whether it was.
bool TTable::NotifyRowChanges(const std::vector<TRow>& shown) {
    const std::size_t a = shown.size();
    const std::size_t b = rows_.size();
    const auto same = [&](std::size_t i, std::size_t j) { return shown[i].rowId == rows_[j].rowId; };
    std::size_t head = 0;
    while (head < a && head < b && same(head, head))
        ++head;
    std::size_t tail = 0;
    while (tail < a - head && tail < b - head && same(a - 1 - tail, b - 1 - tail))
        ++tail;
    const std::size_t gone = a - head - tail; // rows of shown between the equal ends
    const std::size_t come = b - head - tail; // rows of the file between them
    const auto middleEqual = [&](std::size_t from, std::size_t to, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k)
            if (!same(from + k, to + k))
                return false;
        return true;
    };

    std::vector<std::pair<TTableEvent, std::size_t>> steps;
    if (gone == 1 && come == 0) {
        steps.emplace_back(TTableEvent::RowRemoved, head);
    } else if (gone == 0 && come == 1) {
        steps.emplace_back(TTableEvent::RowInserted, head);
    } else if (gone == come && gone >= 2) {
        const std::size_t last = head + gone - 1;
        if (same(head, last) && middleEqual(head + 1, head, gone - 1)) {
            steps.emplace_back(TTableEvent::RowRemoved, head);
            steps.emplace_back(TTableEvent::RowInserted, last);
        } else if (same(last, head) && middleEqual(head, head + 1, gone - 1)) {
            steps.emplace_back(TTableEvent::RowRemoved, last);
            steps.emplace_back(TTableEvent::RowInserted, head);
        } else {
            Notify(TTableEvent::RowsReset);
            return true;
        }
    } else if (gone != 0 || come != 0) {
        Notify(TTableEvent::RowsReset);
        return true;
    }

    std::unordered_map<std::int64_t, std::size_t> before;
    before.reserve(a);
    for (std::size_t i = 0; i < a; ++i)
        before.emplace(shown[i].rowId, i);
    for (const auto& [event, row] : steps)
        Notify(event, -1, static_cast<int>(row));
    for (std::size_t j = 0; j < b; ++j) {
        const auto it = before.find(rows_[j].rowId);
        if (it != before.end() && shown[it->second].values != rows_[j].values)
            Notify(TTableEvent::RowChanged, -1, static_cast<int>(j));
    }
    return false;
}

// ---- states

void TTable::Edit() {
    RequireChangeAllowed(true);
    RequireActive();
    if (state_ == TTableState::Edit || state_ == TTableState::Insert)
        return;
    if (rows_.empty()) {
        StartInsert();
        NotifyCurrent();
        return;
    }
    buf_ = rows_[cur_];
    dirty_.assign(storedCount_, false);
    modified_ = false;
    state_ = TTableState::Edit;
    Notify(TTableEvent::StateChanged);
}

void TTable::StartInsert() {
    returnTo_ = cur_ >= 0 ? std::optional<std::int64_t>(rows_[cur_].rowId) : std::nullopt;
    buf_ = TRow{0, std::vector<TValue>(storedCount_)};
    dirty_.assign(storedCount_, false);
    modified_ = false;
    state_ = TTableState::Insert;
    cur_ = static_cast<int>(rows_.size());
    bof_ = eof_ = false;
    Notify(TTableEvent::RowInserted, -1, cur_);
    Notify(TTableEvent::StateChanged);
}

void TTable::Insert() {
    RequireChangeAllowed(false);
    RequireActive();
    NotifyBefore(TTableEvent::BeforeMove);
    if (state_ == TTableState::Insert && !modified_)
        return;
    LeaveEditState();
    StartInsert();
    NotifyCurrent();
}

void TTable::Post() {
    RequireChangeAllowed(false);
    RequireActive();
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        return;
    NotifyBefore(TTableEvent::BeforePost);
    PostPending();
    NotifyCurrent();
}

void TTable::ApplyCommitRule() {
    RequireChangeAllowed(false);
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        return;
    NotifyBefore(TTableEvent::BeforePost);
    if (modified_) {
        PostPending();
        NotifyCurrent();
    }
}

// Writes the pending record (the listeners have had BeforePost) and leaves edit or insert state.
void TTable::PostPending() {
    if (state_ == TTableState::Edit && !modified_) {
        DropPending();
        return;
    }
    const std::string cannot = "Запись таблицы " + def_.tableName + " не сохранена";
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(cannot);
    std::int64_t rowId = buf_.rowId;
    try {
        if (state_ == TTableState::Edit) {
            // Only the changed columns: another program's change to another column of a shared
            // table survives.
            std::string sql = "UPDATE " + quotedTable_ + " SET ";
            std::vector<int> cols;
            for (int i = 0; i < storedCount_; ++i)
                if (dirty_[i]) {
                    sql += (cols.empty() ? "" : ", ") + QuoteId(fields_[i].name) + "=?";
                    cols.push_back(i);
                }
            if (!cols.empty()) {
                sql += " WHERE " + rowIdName_ + "=?";
                TStmt update(db_, sql);
                if (!update.Ok())
                    Fail(cannot);
                for (std::size_t k = 0; k < cols.size(); ++k)
                    update.Bind(static_cast<int>(k + 1), buf_.values[cols[k]]);
                update.Bind(static_cast<int>(cols.size() + 1), TValue(buf_.rowId));
                if (update.Step() != SQLITE_DONE)
                    Fail(cannot);
                if (sqlite3_changes(db_) != 1)
                    throw ETableError(ETableError::TFault::General, cannot + ": запись удалена из файла " +
                                                                        fileName_ + " другой программой");
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

    // The record is in the file. The rows as listeners know them have it with the values they
    // were shown; read the file anew (a shared table may have been changed by another program,
    // the ОРТЕН table keeps the order of its key) and tell the difference.
    std::vector<TRow> shown = std::move(rows_);
    if (state_ == TTableState::Insert) {
        shown.push_back(TRow{rowId, std::move(buf_.values)});
        if (told_.kind == 2)
            told_ = {told_.index, 1, rowId}; // the new record is still the same record
    } else {
        shown[cur_].values = std::move(buf_.values);
    }
    const int at = cur_;
    state_ = TTableState::Browse;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    Reload(std::move(shown), rowId, at, true);
}

// Leaves edit or insert state without writing: the edited row shows its stored values again, a
// new record's row goes away.
void TTable::DropPending() {
    const bool inserting = state_ == TTableState::Insert;
    const bool changed = modified_;
    const int row = cur_;
    state_ = TTableState::Browse;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    if (inserting) {
        const int back = returnTo_ ? StoredIndex(*returnTo_) : -1;
        cur_ = back >= 0 ? back : static_cast<int>(rows_.size()) - 1;
        Notify(TTableEvent::RowRemoved, -1, row);
    } else if (changed) {
        Notify(TTableEvent::RowChanged, -1, row);
    }
    bof_ = eof_ = rows_.empty();
    Notify(TTableEvent::StateChanged);
}

void TTable::Cancel() {
    RequireChangeAllowed(false);
    RequireActive();
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        return;
    DropPending();
    NotifyCurrent();
}

void TTable::Delete() {
    RequireChangeAllowed(false);
    RequireActive();
    if (state_ == TTableState::Insert) {
        Cancel();
        return;
    }
    if (rows_.empty())
        throw ETableError(ETableError::TFault::General,
                          "Таблица " + def_.tableName + " пуста: удалять нечего");
    const std::string cannot = "Запись таблицы " + def_.tableName + " не удалена";
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(cannot);
    try {
        TStmt del(db_, "DELETE FROM " + quotedTable_ + " WHERE " + rowIdName_ + "=?");
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
    // An edit of the deleted record goes with it.
    const bool wasEditing = state_ == TTableState::Edit;
    state_ = TTableState::Browse;
    modified_ = false;
    buf_ = {};
    dirty_.clear();
    std::vector<TRow> shown = std::move(rows_);
    const int at = cur_;
    Reload(std::move(shown), std::nullopt, at, wasEditing);
    NotifyCurrent();
}

bool TTable::Refresh() {
    RequireChangeAllowed(false);
    RequireActive();
    if (state_ != TTableState::Browse)
        return false;
    const std::optional<std::int64_t> id =
        cur_ >= 0 ? std::optional<std::int64_t>(rows_[cur_].rowId) : std::nullopt;
    std::vector<TRow> shown = std::move(rows_);
    Reload(std::move(shown), id, cur_, false);
    NotifyCurrent();
    return true;
}

// Posts a modified pending record (BeforePost first) or drops an unmodified one.
void TTable::LeaveEditState() {
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        return;
    if (modified_) {
        NotifyBefore(TTableEvent::BeforePost);
        PostPending();
    } else {
        DropPending();
    }
}

// ---- moving

// A move to row, a stored record other than the current one: the listeners hand over what is
// being typed, the pending record is left, and the target is found again by its rowid (posting
// may have moved the rows).
void TTable::MoveTo(int row) {
    if (row < 0 || row == cur_ || row >= static_cast<int>(rows_.size()))
        return;
    const std::int64_t id = rows_[row].rowId;
    NotifyBefore(TTableEvent::BeforeMove);
    LeaveEditState();
    const int at = StoredIndex(id);
    cur_ = at >= 0 ? at : std::min(row, static_cast<int>(rows_.size()) - 1);
    NotifyCurrent();
}

void TTable::SetRecNo(int recNo) {
    RequireChangeAllowed(false);
    RequireActive();
    if (RecordCount() == 0)
        return;
    MoveTo(std::clamp(recNo, 1, RecordCount()) - 1);
    bof_ = eof_ = false;
}

void TTable::First() {
    RequireChangeAllowed(false);
    RequireActive();
    MoveTo(0);
    bof_ = true;
    eof_ = RecordCount() == 0;
}

void TTable::Last() {
    RequireChangeAllowed(false);
    RequireActive();
    MoveTo(RecordCount() - 1);
    eof_ = true;
    bof_ = RecordCount() == 0;
}

void TTable::Next() {
    RequireChangeAllowed(false);
    RequireActive();
    if (cur_ + 1 < RecordCount()) {
        MoveTo(cur_ + 1);
        bof_ = eof_ = false;
    } else {
        eof_ = true;
    }
}

void TTable::Prior() {
    RequireChangeAllowed(false);
    RequireActive();
    if (cur_ > 0) {
        MoveTo(cur_ - 1);
        bof_ = eof_ = false;
    } else {
        bof_ = true;
    }
}

int TTable::MoveBy(int distance) {
    RequireChangeAllowed(false);
    RequireActive();
    if (RecordCount() == 0) {
        bof_ = eof_ = true;
        return 0;
    }
    const long long wanted = static_cast<long long>(cur_) + distance;
    const int target = static_cast<int>(std::clamp<long long>(wanted, 0, RecordCount() - 1));
    const int moved = target - cur_;
    MoveTo(target);
    if (moved != 0)
        bof_ = eof_ = false;
    if (distance > moved)
        eof_ = true;
    if (distance < moved)
        bof_ = true;
    return moved;
}

bool TTable::Locate(std::string_view field, const TValue& value) {
    const int f = FieldIndex(field);
    RequireChangeAllowed(false);
    RequireActive();
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
            MoveTo(r);
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
    RequireChangeAllowed(false);
    RequireActive();
    const int at = StoredIndex(rowId);
    if (at < 0)
        return false;
    MoveTo(at);
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
        throw ETableError(ETableError::TFault::General,
                          "В таблице " + def_.tableName + " нет поля " + std::string(name));
    return i;
}

TValue TTable::Value(int field) const {
    RequireActive();
    if (field < 0 || field >= FieldCount())
        throw ETableError(ETableError::TFault::General,
                          "В таблице " + def_.tableName + " нет поля номер " + std::to_string(field));
    if (cur_ < 0)
        return TValue();
    const std::vector<TValue>& rec = RowValues(cur_);
    if (field < storedCount_)
        return rec[field];
    return calcFuncs_[field - storedCount_](*this, rec);
}

TValue TTable::ValueAt(int row, int field) const {
    RequireActive();
    if (field < 0 || field >= FieldCount() || row < 0 || row >= RecordCount())
        throw std::out_of_range("TTable::ValueAt");
    const std::vector<TValue>& rec = RowValues(row);
    if (field < storedCount_)
        return rec[field];
    return calcFuncs_[field - storedCount_](*this, rec);
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
    // A cleared field: blank text is no value, whatever the column holds.
    if (value.Kind() == TValue::TKind::Text && Trim(value.AsString()).empty())
        return TValue();
    try {
        switch (f.type) {
        case TFieldType::Integer:
        case TFieldType::Smallint: {
            const std::int64_t v = value.AsInteger();
            const std::int64_t lo = f.type == TFieldType::Smallint ? -32768 : -2147483648LL;
            const std::int64_t hi = f.type == TFieldType::Smallint ? 32767 : 2147483647LL;
            if (v < lo || v > hi)
                throw EValueError("значение " + std::to_string(v) + " вне пределов " + std::to_string(lo) +
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
                throw EValueError("текст длиннее " + std::to_string(f.size) + " символов");
            return Normalized(field, TValue(s));
        }
        case TFieldType::Memo:
            return Normalized(field, TValue(value.AsString()));
        case TFieldType::Other:
            return value;
        }
    } catch (const EValueError& e) {
        throw EValueError(Place(field) + ": " + e.what());
    }
    return value;
}

std::string TTable::Place(int field) const {
    std::string out = "Таблица " + def_.tableName;
    if (cur_ >= 0) {
        out += ", запись " + std::to_string(cur_ + 1);
        const int name = FindField("NameKP");
        if (name >= 0 && name < storedCount_) {
            const std::string kp = RowValues(cur_)[name].AsString();
            out += kp.empty() ? " (КП без названия)" : " (КП \"" + kp + "\")";
        }
    }
    return out + ", поле " + fields_.at(static_cast<std::size_t>(field)).name;
}

TValue TTable::CheckedValue(int field) const {
    const TValue v = Value(field);
    return field < storedCount_ ? Convert(field, v) : v;
}

void TTable::SetValue(int field, const TValue& value) {
    RequireChangeAllowed(true);
    RequireActive();
    if (field < 0 || field >= FieldCount())
        throw ETableError(ETableError::TFault::General,
                          "В таблице " + def_.tableName + " нет поля номер " + std::to_string(field));
    if (field >= storedCount_)
        throw ETableError(ETableError::TFault::General,
                          "Поле " + fields_[field].name + " вычисляется программой и не изменяется");
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        throw ETableError(ETableError::TFault::General, "Таблица " + def_.tableName +
                                                            " не в режиме редактирования: поле " +
                                                            fields_[field].name + " не изменено");
    TValue v = Convert(field, value);
    if (buf_.values[field] == v)
        return;
    buf_.values[field] = std::move(v);
    dirty_[field] = true;
    modified_ = true;
    Notify(TTableEvent::FieldChanged, field, cur_);
    for (int i = storedCount_; i < FieldCount(); ++i)
        Notify(TTableEvent::FieldChanged, i, cur_);
}

void TTable::SetValues(const std::vector<TValue>& values) {
    RequireChangeAllowed(true);
    RequireActive();
    if (state_ != TTableState::Edit && state_ != TTableState::Insert)
        throw ETableError(ETableError::TFault::General,
                          "Таблица " + def_.tableName + " не в режиме редактирования: запись не изменена");
    const int n = std::min(storedCount_, static_cast<int>(values.size()));
    std::vector<TValue> converted;
    converted.reserve(n);
    for (int i = 0; i < n; ++i)
        converted.push_back(Convert(i, values[i]));
    std::vector<int> changed;
    for (int i = 0; i < n; ++i)
        if (!(buf_.values[i] == converted[i])) {
            buf_.values[i] = std::move(converted[i]);
            dirty_[i] = true;
            modified_ = true;
            changed.push_back(i);
        }
    for (const int i : changed)
        Notify(TTableEvent::FieldChanged, i, cur_);
    if (!changed.empty())
        for (int i = storedCount_; i < FieldCount(); ++i)
            Notify(TTableEvent::FieldChanged, i, cur_);
}

// ---- notifications

int TTable::Subscribe(TTableListener listener) {
    listeners_.push_back(std::make_shared<TListenerSlot>(TListenerSlot{nextListener_, std::move(listener)}));
    return nextListener_++;
}

void TTable::Unsubscribe(int id) {
    std::erase_if(listeners_, [id](const std::shared_ptr<TListenerSlot>& l) {
        if (l->id != id)
            return false;
        l->subscribed = false;
        return true;
    });
}

// Calls every listener subscribed now that is still subscribed when its turn comes. The slot is
// held while its listener runs, so a listener may unsubscribe itself.
void TTable::Send(TNotice kind, const TTableChange& change) {
    const TNotice outer = notice_;
    notice_ = kind;
    struct TRestore {
        TNotice& notice;
        TNotice value;
        ~TRestore() { notice = value; }
    } restore{notice_, outer};
    const auto listeners = listeners_;
    for (const auto& slot : listeners)
        if (slot->subscribed)
            slot->listener(change);
}

void TTable::Notify(TTableEvent event, int field, int row) {
    Send(TNotice::After, TTableChange{event, field, row});
}

void TTable::NotifyBefore(TTableEvent event) {
    Send(TNotice::Before, TTableChange{event, -1, cur_});
}

// RecordMoved when the current record or its row index is not the one listeners were last told.
void TTable::NotifyCurrent() {
    const TCurrent now = Current();
    if (!forceMoved_ && now == told_)
        return;
    told_ = now;
    forceMoved_ = false;
    Notify(TTableEvent::RecordMoved, -1, cur_);
}

} // namespace talmar
