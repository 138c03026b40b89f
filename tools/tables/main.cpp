// talmar-tables: writes the five table files of Talmar into the current folder, empty (create),
// filled with a demonstration (sample) or from the tables of the old desktop database (import).
// Existing files are never overwritten.

#include "Import.h"
#include "Interrupt.h"
#include "base/Errors.h"
#include "store/TableDef.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// shellapi.h needs windows.h before it
#include <shellapi.h>
#endif

namespace {

using namespace talmar;

const char* const kHelp =
    "talmar-tables - таблицы настроек Тальмара (файлы SQLite) в текущей папке.\n"
    "\n"
    "  talmar-tables create   создать пять пустых таблиц: Data_ORTEN.DB, Data_LF.DB, Data_LT.DB,\n"
    "                         ParamType.db, Pref.db\n"
    "  talmar-tables sample   создать их же и заполнить примером: Pref (порт COM2), несколько КП\n"
    "                         в каждой таблице настроек (у КП ОРТЕН номера контроллеров 1, 2, 3)\n"
    "                         и ПРИМЕРНУЮ карту параметров ParamType.\n"
    "  talmar-tables import ПАПКА\n"
    "                         перевести таблицы Paradox (*.DB с их файлами *.MB) из ПАПКИ: каждая\n"
    "                         найденная таблица записывается сюда со всеми записями и столбцами;\n"
    "                         значения новых таблиц сверяются с файлами Paradox. Файлы Paradox\n"
    "                         не меняются. Код выхода 0 - всё переведено и сошлось, 1 - таблица\n"
    "                         не прочиталась или значение не поместилось, 2 - такой файл здесь уже есть.\n"
    "\n"
    "Адреса и размеры параметров в примерной карте ParamType придуманы для демонстрации:\n"
    "настоящая карта задаётся прошивкой модема. Не прошивайте по ней настоящие модемы.\n"
    "\n"
    "Существующие файлы не перезаписываются: если хоть один из них уже есть, ничего не создаётся.\n";

// The demo rows of one table, compiled in from sample/<table>.sql.
std::string SampleSql(const TTableDef& def) {
    QFile f(QString::fromStdString(":/sample/" + def.tableName + ".sql"));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("нет примера для таблицы " + def.tableName);
    return f.readAll().toStdString();
}

// Runs the demo SQL in one transaction and returns the number of rows the table then holds.
long long FillSample(const TTableDef& def) {
    const std::string sql = "BEGIN; " + SampleSql(def) + "\nCOMMIT;";
    sqlite3* db = nullptr;
    std::string error;
    long long rows = 0;
    if (sqlite3_open_v2(def.fileName.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        char* msg = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK)
            error = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        sqlite3_stmt* st = nullptr;
        const std::string count = "SELECT count(*) FROM \"" + def.tableName + "\"";
        if (error.empty() && sqlite3_prepare_v2(db, count.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            rows = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    } else {
        error = sqlite3_errmsg(db);
    }
    sqlite3_close(db);
    if (!error.empty())
        throw std::runtime_error("пример для " + def.fileName + " не записан: " + error);
    return rows;
}

int StoredColumns(const TTableDef& def) {
    int n = 0;
    for (const TFieldDef& f : def.fields)
        n += f.calculated ? 0 : 1;
    return n;
}

int Run(bool sample) {
    std::vector<std::string> existing;
    for (const TTableId id : kTableOrder) {
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(TableDef(id).fileName, ec)))
            existing.push_back(TableDef(id).fileName);
    }
    if (!existing.empty()) {
        for (const std::string& name : existing)
            std::fprintf(stderr, "talmar-tables: файл %s уже существует\n", name.c_str());
        std::fprintf(stderr, "talmar-tables: ничего не создано; существующие файлы не перезаписываются\n");
        return 1;
    }

    std::vector<std::string> created;
    try {
        for (const TTableId id : kTableOrder) {
            const TTableDef& def = TableDef(id);
            CreateTableFile(def, def.fileName);
            created.push_back(def.fileName);
        }
        for (const TTableId id : kTableOrder) {
            const TTableDef& def = TableDef(id);
            const long long rows = sample ? FillSample(def) : 0;
            std::printf("Создан %s: таблица %s, столбцов %d, записей %lld%s\n", def.fileName.c_str(),
                        def.tableName.c_str(), StoredColumns(def), rows,
                        sample && id == TTableId::ParamType ? " (ПРИМЕРНАЯ карта, не из прошивки модема)"
                                                            : "");
        }
    } catch (const std::exception& e) {
        // Leave no half-made set of tables behind: only the files made by this run are removed.
        for (const std::string& name : created) {
            std::error_code ec;
            std::filesystem::remove(name, ec);
        }
        std::fprintf(stderr, "talmar-tables: %s\n", e.what());
        std::fprintf(stderr, "talmar-tables: ничего не создано\n");
        return 1;
    }
    return 0;
}

// TALMAR_IMPORT_TIME_LIMIT_MS, when set: how long the import's child may take to read a Paradox
// table before the table counts as damaged (the tests shorten it). False when it is no number.
bool ReadAheadLimit(std::chrono::milliseconds& limit) {
    const char* text = std::getenv("TALMAR_IMPORT_TIME_LIMIT_MS");
    if (!text || !*text)
        return true;
    char* end = nullptr;
    errno = 0;
    const long long ms = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != 0 || ms < 1 || ms > 3600000) {
        std::fprintf(stderr,
                     "talmar-tables: TALMAR_IMPORT_TIME_LIMIT_MS=%s - не число миллисекунд от 1 до 3600000; "
                     "исправьте или уберите эту переменную\n",
                     text);
        return false;
    }
    limit = std::chrono::milliseconds(ms);
    return true;
}

#ifdef _WIN32
// The arguments as UTF-8, whatever the ANSI code page of the system.
std::vector<std::string> Arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; wide && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 1 ? static_cast<std::size_t>(size) : 1, '\0');
        if (size > 1)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    LocalFree(wide);
    return args;
}
#else
std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}
#endif

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = Arguments(argc, argv);
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8); // the messages are UTF-8
    // The import's child that reads a Paradox table first: this program started again.
    if (args.size() == 4 && args[1] == kReadAheadArgument)
        return ReadAhead(args[2], static_cast<std::uint32_t>(std::strtoul(args[3].c_str(), nullptr, 10)));
#endif
    if (args.size() == 3 && args[1] == "import") {
        TImportOptions options;
        if (!ReadAheadLimit(options.readAheadLimit))
            return 2;
        CatchInterrupts();
        const int status = ImportTables(args[2], stdout, stderr, options);
        if (status == 130 && Interrupted())
            EndAsInterrupted();
        return status;
    }
    const std::string command = args.size() == 2 ? args[1] : "";
    if (command == "create")
        return Run(false);
    if (command == "sample")
        return Run(true);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::fputs(kHelp, stderr);
    return 2;
}
