// The settings editors on big tables: the whole program's start-up with 1,000 records in each
// settings table, the frequency editor shown with its record list of 1,000 records, and a move to
// the next record with every control of the window refreshed and painted. Runs offscreen.
//
// Usage: bench_editors [repeats]   (default 5; the table shows the median and the worst)
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "editors/TuningLF.h"
#include "store/DMTables.h"

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace talmar;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRecords = 1000;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "bench_editors: %s\n", error ? error : "sqlite error");
        std::exit(1);
    }
}

// A value for every stored column: whole numbers that pass the editors' lists, a name per КП.
void Fill(const TTableDef& def) {
    sqlite3* db = nullptr;
    sqlite3_open(def.fileName.c_str(), &db);
    Exec(db, "BEGIN");
    for (int r = 0; r < kRecords; ++r) {
        std::string cols, vals;
        for (const TFieldDef& f : def.fields) {
            if (f.calculated)
                continue;
            cols += (cols.empty() ? "" : ", ") + QuoteId(f.name);
            std::string v;
            if (f.name == "NameKP")
                v = "'КП-" + std::to_string(r + 1) + " подстанция'";
            else if (f.name == "Book")
                v = "'заметка'";
            else if (f.name == "ResistTr")
                v = "-6";
            else if (f.name.rfind("Atten", 0) == 0)
                v = std::to_string(-(r % 30));
            else if (f.type == TFieldType::Float)
                v = "1.25";
            else if (f.type == TFieldType::Alpha)
                v = "'x'";
            else
                v = std::to_string(1 + r % 2);
            vals += (vals.empty() ? "" : ", ") + v;
        }
        Exec(db, "INSERT INTO " + QuoteId(def.tableName) + " (" + cols + ") VALUES (" + vals + ")");
    }
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

struct TFigure {
    const char* what;
    double target;
    std::vector<double> ms;
};

void Print(const TFigure& f) {
    std::vector<double> v = f.ms;
    std::sort(v.begin(), v.end());
    std::printf("%-62s %8.1f %8.1f %8.0f\n", f.what, v[v.size() / 2], v.back(), f.target);
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto dir =
        std::filesystem::temp_directory_path() / ("talmar-bench-editors-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    for (const TTableId id : kTableOrder)
        CreateTableFile(TableDef(id), TableDef(id).fileName);
    for (const TTableId id : {TTableId::DataLF, TTableId::DataLT, TTableId::DataORTEN})
        Fill(TableDef(id));
    {
        sqlite3* db = nullptr;
        sqlite3_open("Pref.db", &db);
        Exec(db, "INSERT INTO Pref VALUES (2, 1)");
        sqlite3_close(db);
    }

    TFigure startup{"start-up, 1,000 records in each table, main window shown", 800, {}};
    TFigure show{"frequency editor shown with its list of 1,000 records", 500, {}};
    TFigure move{"move to the next record, every control refreshed and painted", 30, {}};
    for (int i = 0; i < repeats; ++i) {
        auto t0 = Clock::now();
        TProgram program;
        program.Start();
        if (!QTest::qWaitForWindowExposed(program.fMain.get()))
            return 1;
        QApplication::processEvents();
        startup.ms.push_back(Ms(t0));

        auto* lf = program.fMain->findChild<TFTuningLF*>("FTuningLF");
        TTable& table = program.dmTables->TDataLF();
        t0 = Clock::now();
        table.Edit();
        lf->show();
        if (!QTest::qWaitForWindowExposed(lf))
            return 1;
        QApplication::processEvents();
        show.ms.push_back(Ms(t0));

        for (int m = 0; m < 50; ++m) {
            t0 = Clock::now();
            table.Next();
            lf->repaint();
            QApplication::processEvents();
            move.ms.push_back(Ms(t0));
        }
        lf->hide();
        program.Stop();
    }
    std::printf("%-62s %8s %8s %8s\n", "ms", "median", "worst", "target");
    for (const TFigure* f : {&startup, &show, &move})
        Print(*f);
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir);
    return 0;
}
