// A second process for the store tests.
//   read <file>          reads the file with plain SQLite; exit 0 when it could, 3 when not
//   open <table> <file>  opens it as Talmar does (table: LF or ORTEN); exit 0 or 3
//   post <file>          posts whole Data_LF records round and round until it is killed

#include "store/Table.h"

#include <cstdio>
#include <sqlite3.h>
#include <string>

using namespace talmar;

namespace {

int Read(const char* file) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file, &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    std::printf("%s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : 3;
}

int Open(const std::string& table, const char* file) {
    TTable t(TableDef(table == "ORTEN" ? TTableId::DataORTEN : TTableId::DataLF), file);
    try {
        t.Open();
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 3;
    }
    return 0;
}

// Every post gives all integer columns of a record one new value, so a record that is not
// whole after a crash shows different values.
int Post(const char* file) {
    TTable t(TableDef(TTableId::DataLF), file);
    t.Open();
    for (std::int64_t n = 1;; ++n) {
        for (t.First(); !t.Eof(); t.Next()) {
            t.Edit();
            for (int f = 0; f < t.StoredFieldCount(); ++f)
                if (t.Field(f).type == TFieldType::Integer)
                    t.SetValue(f, n);
            t.Post();
        }
        if (n == 1) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "read" && argc == 3)
        return Read(argv[2]);
    if (cmd == "open" && argc == 4)
        return Open(argv[2], argv[3]);
    if (cmd == "post" && argc == 3)
        return Post(argv[2]);
    return 2;
}
