// talmar-tables: writes the five table files of Talmar into the current folder, empty (create),
// filled with a demonstration (sample) or from the tables of the old desktop database (import).
// Existing files are never overwritten.

#include "store/DbError.h"
#include "store/TableDef.h"
#include "tools/tables/Import.h"

#include <QFile>
#include <cstdio>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

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

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "import")
        return ImportTables(argv[2], stdout, stderr);
    const std::string command = argc == 2 ? argv[1] : "";
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
