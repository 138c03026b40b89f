#include "Import.h"

#include "Interrupt.h"
#include "ParadoxFile.h"
#include "store/FileKind.h"
#include "store/Table.h"
#include "store/TableDef.h"
#include "store/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talmar {
namespace {

namespace fs = std::filesystem;

constexpr int kDone = 0, kFailed = 1, kRefused = 2, kInterrupted = 130;

// A reason to stop the import; the text is printed as it is.
class EImportError : public ETalmar {
public:
    explicit EImportError(const std::string& text) : ETalmar(TErrorKind::Table, text) {}
};

// A table file that appeared in the current folder while the import ran: it is kept.
class EAppearedError : public EImportError {
public:
    using EImportError::EImportError;
};

// One column of the new table file.
struct TColumn {
    TFieldDef field; // as the new file declares it: the program's definition, or the Paradox type
    int source = -1; // the Paradox field it is read from; -1 when the Paradox file lacks it
};

struct TImport {
    TTableId id = TTableId::DataLF;
    std::string db; // UTF-8 file names
    std::optional<std::string> mb;
    std::vector<TColumn> columns;
    std::vector<std::vector<TValue>> rows; // values as the new columns hold them, in record order
    std::vector<std::string> matched, empty, extra;
    std::vector<std::string> skipped; // stored in Paradox, calculated by the program
    int codePage = 0;
    std::string temp; // the new file beside its final name, once written
};

// The one file of FOLDER named `name` without regard to letter case, if there is one.
std::optional<std::string> FindOne(const std::vector<fs::path>& files, const std::string& name) {
    std::vector<fs::path> found;
    for (const fs::path& p : files)
        if (EqualNoCase(Utf8FromPath(p.filename()), name))
            found.push_back(p);
    if (found.size() > 1)
        throw EImportError("В папке " + Utf8FromPath(found[0].parent_path()) + " несколько файлов с именем " +
                           name + " (" + Utf8FromPath(found[0].filename()) + ", " +
                           Utf8FromPath(found[1].filename()) + "): оставьте один");
    if (found.empty())
        return std::nullopt;
    return Utf8FromPath(found[0]);
}

// Text for a message, in quotes: at most its first 60 characters.
std::string Shortened(const std::string& s) {
    constexpr std::size_t kShown = 60;
    std::size_t end = 0;
    for (std::size_t chars = 0; end < s.size(); ++end)
        if ((static_cast<unsigned char>(s[end]) & 0xC0) != 0x80 && chars++ == kShown)
            break;
    return "\"" + s.substr(0, end) + (end < s.size() ? "...\"" : "\"");
}

// The column a Paradox field that the program does not define becomes: the nearest type.
std::optional<TFieldDef> ExtraColumn(const TParadoxField& f) {
    TFieldDef d{f.name, TFieldType::Integer, 0, {}, false, {}};
    switch (f.type) {
    case TParadoxType::Alpha:
        d.type = TFieldType::Alpha;
        d.size = f.size;
        return d;
    case TParadoxType::Memo:
        d.type = TFieldType::Memo;
        return d;
    case TParadoxType::Short:
        d.type = TFieldType::Smallint;
        return d;
    case TParadoxType::Long:
    case TParadoxType::AutoInc:
        return d;
    case TParadoxType::Number:
    case TParadoxType::Currency:
        d.type = TFieldType::Float;
        return d;
    case TParadoxType::Logical:
        d.type = TFieldType::Boolean;
        return d;
    default:
        return std::nullopt;
    }
}

bool IsNumber(TParadoxType t) {
    return t == TParadoxType::Short || t == TParadoxType::Long || t == TParadoxType::AutoInc ||
           t == TParadoxType::Number || t == TParadoxType::Currency;
}

// Whether values of a Paradox field can go into a column of the program's definition at all;
// single values may still not fit (see Fit).
bool Convertible(TParadoxType from, TFieldType to) {
    switch (to) {
    case TFieldType::Integer:
    case TFieldType::Smallint:
    case TFieldType::Float:
        return IsNumber(from);
    case TFieldType::Boolean:
        return from == TParadoxType::Logical ||
               (IsNumber(from) && from != TParadoxType::Number && from != TParadoxType::Currency);
    case TFieldType::Alpha:
    case TFieldType::Memo:
        return from == TParadoxType::Alpha || from == TParadoxType::Memo;
    case TFieldType::Other:
        return false;
    }
    return false;
}

std::string ProgramTypeName(const TFieldDef& f) {
    switch (f.type) {
    case TFieldType::Integer:
        return "Integer";
    case TFieldType::Smallint:
        return "Smallint";
    case TFieldType::Float:
        return "Float";
    case TFieldType::Alpha:
        return "Alpha " + std::to_string(f.size);
    case TFieldType::Boolean:
        return "Boolean";
    case TFieldType::Memo:
        return "Memo";
    case TFieldType::Other:
        return f.declared;
    }
    return {};
}

// A Paradox value as the column holds it; EValueError says why it does not fit.
TValue Fit(const TValue& v, const TFieldDef& f) {
    if (v.IsNull())
        return v;
    switch (f.type) {
    case TFieldType::Integer:
    case TFieldType::Smallint: {
        const std::int64_t n = v.AsInteger(); // a Number with a fraction is refused here
        const std::int64_t lo = f.type == TFieldType::Smallint ? -32768 : -2147483648LL;
        const std::int64_t hi = f.type == TFieldType::Smallint ? 32767 : 2147483647LL;
        if (n < lo || n > hi)
            throw EValueError("число " + std::to_string(n) + " не помещается в " + ProgramTypeName(f) + " (" +
                              std::to_string(lo) + ".." + std::to_string(hi) + ")");
        return TValue(n);
    }
    case TFieldType::Float:
        return TValue(v.AsFloat());
    case TFieldType::Boolean:
        if (v.Kind() == TValue::TKind::Integer && v.AsInteger() != 0 && v.AsInteger() != 1)
            throw EValueError("число " + std::to_string(v.AsInteger()) +
                              " не логическое значение (Boolean берёт 0 или 1)");
        return TValue(v.AsBoolean());
    case TFieldType::Alpha: {
        const std::string s = v.AsString();
        const std::size_t length = Utf8Length(s);
        if (length > static_cast<std::size_t>(f.size))
            throw EValueError("текст не помещается в " + ProgramTypeName(f) + ": в нём символов " +
                              std::to_string(length) + " - " + Shortened(s));
        return TValue(s);
    }
    case TFieldType::Memo:
    case TFieldType::Other:
        return TValue(v.AsString());
    }
    return v;
}

std::string Join(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names)
        s += (s.empty() ? "" : ", ") + n;
    return s;
}

// Reads one table and turns its records into the new file's rows, checking every value.
void Prepare(TImport& im, std::chrono::milliseconds readAheadLimit) {
    const TTableDef& def = TableDef(im.id);
    if (InspectTableFile(im.db) == TFileKind::Sqlite)
        throw EImportError(
            "Файл " + im.db +
            " - уже таблица SQLite, а не Paradox: переводить его не нужно, скопируйте его как есть");
    const TParadoxTable px = ReadParadoxTable(im.db, im.mb ? *im.mb : std::string(), readAheadLimit);
    im.codePage = px.codePage;

    // The new file keeps the Paradox file's column order; the program's columns the Paradox file
    // lacks follow, empty.
    std::vector<bool> used(def.fields.size(), false);
    for (std::size_t i = 0; i < px.fields.size(); ++i) {
        const TParadoxField& pf = px.fields[i];
        for (std::size_t k = 0; k < i; ++k)
            if (EqualNoCase(px.fields[k].name, pf.name))
                throw EImportError("В таблице " + im.db + " два поля с именем " + pf.name);
        const auto d = std::find_if(def.fields.begin(), def.fields.end(),
                                    [&](const TFieldDef& f) { return EqualNoCase(f.name, pf.name); });
        const std::string typeName = ParadoxTypeName(pf.type, pf.size);
        if (d != def.fields.end() && d->calculated) {
            im.skipped.push_back(pf.name);
            used[d - def.fields.begin()] = true;
            continue;
        }
        if (d != def.fields.end()) {
            if (!pf.supported || !Convertible(pf.type, d->type))
                throw EImportError("Таблица " + im.db + ", столбец " + pf.name + ": тип " + typeName +
                                   " не переводится в " + ProgramTypeName(*d) +
                                   " - такой тип у этого столбца в программе");
            im.columns.push_back({*d, static_cast<int>(i)});
            im.matched.push_back(d->name);
            used[d - def.fields.begin()] = true;
            continue;
        }
        const auto extra = pf.supported ? ExtraColumn(pf) : std::nullopt;
        if (!extra)
            throw EImportError("Таблица " + im.db + ", столбец " + pf.name + ": тип " + typeName +
                               " не переводится. Этого столбца нет в программе; уберите его из таблицы "
                               "в Paradox или измените его тип и повторите перевод");
        im.columns.push_back({*extra, static_cast<int>(i)});
        im.extra.push_back(pf.name);
    }
    for (std::size_t k = 0; k < def.fields.size(); ++k)
        if (!used[k] && !def.fields[k].calculated) {
            im.columns.push_back({def.fields[k], -1});
            im.empty.push_back(def.fields[k].name);
        }

    im.rows.reserve(px.records.size());
    for (std::size_t r = 0; r < px.records.size(); ++r) {
        std::vector<TValue> row;
        row.reserve(im.columns.size());
        for (const TColumn& c : im.columns) {
            if (c.source < 0) {
                row.emplace_back();
                continue;
            }
            try {
                row.push_back(Fit(px.records[r][static_cast<std::size_t>(c.source)], c.field));
            } catch (const EValueError& e) {
                throw EImportError("Таблица " + im.db + ", запись " + std::to_string(r + 1) + ", столбец " +
                                   c.field.name + ": " + e.what());
            }
        }
        im.rows.push_back(std::move(row));
    }
}

// The name of the new file beside the final name, this process's own.
std::string TempName(const TImport& im) {
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const long pid = getpid();
#endif
    return "." + TableDef(im.id).fileName + ".import-" + std::to_string(pid);
}

// The new file (im.temp): written through the program's own table class.
void WriteTemp(const TImport& im) {
    const TTableDef& def = TableDef(im.id);
    TTableDef fileDef = def;
    fileDef.fields.clear();
    for (const TColumn& c : im.columns)
        fileDef.fields.push_back(c.field);
    CreateTableFile(fileDef, im.temp);

    TTable t(def, im.temp);
    t.Open();
    std::vector<int> index;
    for (const TColumn& c : im.columns)
        index.push_back(t.FieldIndex(c.field.name));
    for (const std::vector<TValue>& row : im.rows) {
        StopIfInterrupted();
        t.Insert();
        for (std::size_t i = 0; i < row.size(); ++i)
            if (!row[i].IsNull())
                t.SetValue(index[i], row[i]);
        t.Post();
    }
    t.Close();
}

// Every value of the new file, read afresh through the table class, against the Paradox value.
// Returns the number of values compared; throws on the first records that differ.
std::size_t ReadBack(const TImport& im) {
    const TTableDef& def = TableDef(im.id);
    TTable t(def, im.temp);
    t.Open();
    if (t.RecordCount() != static_cast<int>(im.rows.size()))
        throw EImportError("Проверка " + def.fileName + ": в новой таблице записей " +
                           std::to_string(t.RecordCount()) + ", а в " + im.db + " " +
                           std::to_string(im.rows.size()));
    std::size_t compared = 0;
    std::string differ;
    int shown = 0;
    for (std::size_t c = 0; c < im.columns.size(); ++c) {
        const int field = t.FieldIndex(im.columns[c].field.name);
        for (std::size_t r = 0; r < im.rows.size(); ++r) {
            const TValue got = t.ValueAt(static_cast<int>(r), field);
            ++compared;
            if (got == im.rows[r][c] || shown >= 10)
                continue;
            ++shown;
            const auto show = [](const TValue& v) {
                return v.IsNull() ? std::string("(пусто)") : Shortened(v.AsString());
            };
            differ += "\n  запись " + std::to_string(r + 1) + ", столбец " + im.columns[c].field.name +
                      ": в Paradox " + show(im.rows[r][c]) + ", прочитано " + show(got);
        }
    }
    if (!differ.empty())
        throw EImportError("Проверка " + def.fileName + ": значения новой таблицы не равны значениям из " +
                           im.db + ":" + differ);
    return compared;
}

// Gives the new file its final name; a file of that name that appeared meanwhile is kept.
void Place(const TImport& im) {
    const std::string& name = TableDef(im.id).fileName;
    const auto appeared = [&] {
        return EAppearedError("Файл " + name +
                              " появился в текущей папке во время перевода; он не перезаписан");
    };
#ifdef _WIN32
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name.
    if (MoveFileExW(PathFromUtf8(im.temp).c_str(), PathFromUtf8(name).c_str(), MOVEFILE_WRITE_THROUGH))
        return;
    const DWORD err = GetLastError();
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS)
        throw appeared();
    throw EImportError("Не удалось переименовать " + im.temp + " в " + name + ": код ошибки Windows " +
                       std::to_string(err));
#else
    if (renameat2(AT_FDCWD, im.temp.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
        return;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) { // a file system without it: a new link refuses as well
        if (link(im.temp.c_str(), name.c_str()) == 0) {
            unlink(im.temp.c_str());
            return;
        }
        err = errno;
    }
    if (err == EEXIST)
        throw appeared();
    throw EImportError("Не удалось переименовать " + im.temp + " в " + name + ": " + std::strerror(err));
#endif
}

void RemoveFiles(const std::vector<std::string>& names) {
    for (const std::string& n : names) {
        std::error_code ec;
        fs::remove(PathFromUtf8(n), ec);
        fs::remove(PathFromUtf8(n + "-journal"), ec);
    }
}

std::string Summary(const TImport& im) {
    const auto list = [](std::size_t n, const std::vector<std::string>& names) {
        return std::to_string(n) + (names.empty() ? "" : " (" + Join(names) + ")");
    };
    std::string from = im.db;
    if (im.mb)
        from += " и " + Utf8FromPath(PathFromUtf8(*im.mb).filename());
    std::string s = TableDef(im.id).fileName + " из " + from + ": записей " + std::to_string(im.rows.size()) +
                    "; столбцы: совпали " + std::to_string(im.matched.size()) + ", пустые " +
                    list(im.empty.size(), im.empty) + ", лишние " + list(im.extra.size(), im.extra) + "\n";
    for (const std::string& c : im.skipped)
        s += "  столбец " + c + " не перенесён: программа вычисляет его сама\n";
    if (im.codePage != 0 && im.codePage != 1251)
        s += "  внимание: в заголовке таблицы указана кодовая страница " + std::to_string(im.codePage) +
             "; текст прочитан как Windows-1251\n";
    return s;
}

} // namespace

int ImportTables(const std::string& folder, std::FILE* out, std::FILE* err, const TImportOptions& options) {
    const auto fail = [&](const std::string& message, int status) {
        std::fprintf(err, "talmar-tables: %s\n", message.c_str());
        std::fprintf(err, "talmar-tables: ничего не записано\n");
        return status;
    };
    std::error_code ec;
    const fs::path folderPath = PathFromUtf8(folder);
    if (!fs::is_directory(folderPath, ec))
        return fail("нет папки " + folder, kRefused);
    std::vector<fs::path> files;
    try {
        for (const fs::directory_entry& e : fs::directory_iterator(folderPath))
            if (e.is_regular_file(ec))
                files.push_back(e.path());
    } catch (const fs::filesystem_error& e) {
        return fail("папка " + folder + " не читается: " + e.code().message(), kRefused);
    }

    std::vector<TImport> imports;
    try {
        for (const TTableId id : kTableOrder) {
            const TTableDef& def = TableDef(id);
            const auto db = FindOne(files, def.fileName);
            if (!db) {
                std::fprintf(out, "%s: нет в папке %s - пропущена\n", def.fileName.c_str(), folder.c_str());
                continue;
            }
            TImport im;
            im.id = id;
            im.db = *db;
            im.mb = FindOne(files, Utf8FromPath(fs::path(def.fileName).stem()) + ".MB");
            imports.push_back(std::move(im));
        }
    } catch (const EImportError& e) {
        return fail(e.what(), kFailed);
    }
    if (imports.empty())
        return fail(
            "в папке " + folder +
                " нет ни одной таблицы Paradox: Data_ORTEN.DB, Data_LF.DB, Data_LT.DB, ParamType.db, Pref.db",
            kFailed);

    std::vector<std::string> existing;
    for (const TImport& im : imports)
        if (fs::exists(fs::symlink_status(TableDef(im.id).fileName, ec)))
            existing.push_back(TableDef(im.id).fileName);
    if (!existing.empty()) {
        for (const std::string& name : existing)
            std::fprintf(err, "talmar-tables: в текущей папке уже есть файл %s; он не перезаписывается\n",
                         name.c_str());
        return fail("переводите таблицы в папку, где их ещё нет, а файлы Paradox держите в отдельной папке",
                    kRefused);
    }

    // Until the last table has its name, a failure or an interruption removes every file this
    // run made; the names of the files are listed before the files are made.
    std::vector<std::string> temps, placed;
    std::size_t compared = 0;
    try {
        for (TImport& im : imports) {
            StopIfInterrupted();
            Prepare(im, options.readAheadLimit);
        }
        for (TImport& im : imports) {
            StopIfInterrupted();
            im.temp = TempName(im);
            temps.push_back(im.temp);
            WriteTemp(im);
            if (options.written)
                options.written(im.temp);
        }
        for (const TImport& im : imports) {
            StopIfInterrupted();
            compared += ReadBack(im);
        }
        for (const TImport& im : imports) {
            StopIfInterrupted();
            if (options.placing)
                options.placing(TableDef(im.id).fileName);
            Place(im);
            placed.push_back(TableDef(im.id).fileName);
        }
        StopIfInterrupted();
    } catch (const std::exception& e) {
        RemoveFiles(temps);
        RemoveFiles(placed);
        if (dynamic_cast<const TInterrupted*>(&e))
            return fail(e.what(), kInterrupted);
        return fail(e.what(), dynamic_cast<const EAppearedError*>(&e) ? kRefused : kFailed);
    }
#ifndef _WIN32 // Windows: the moves were written through
    const int dir = ::open(".", O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir); // the new names survive a power cut
        ::close(dir);
    }
#endif

    for (const TImport& im : imports)
        std::fputs(Summary(im).c_str(), out);
    std::fprintf(out,
                 "Проверка пройдена: значения новых таблиц (%zu) прочитаны программой и равны значениям "
                 "из файлов Paradox\n",
                 compared);
    std::fprintf(out, "Переведено таблиц: %zu; они записаны в папку %s\n", imports.size(),
                 Utf8FromPath(fs::current_path(ec)).c_str());
    return kDone;
}

} // namespace talmar
