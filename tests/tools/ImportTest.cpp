// talmar-tables import run as a user runs it: Paradox tables written by pxlib's own writer in a
// folder, the real executable in a fresh working folder, the result read through the program's
// table class and compared with the values the tables were written from.
#include "tools/tables/Import.h"

#include "sim/ModemSim.h"
#include "store/Table.h"
#include "store/TableDef.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ParadoxMaker.h"
#include "tools/tables/Interrupt.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <paradox.h>
}

using namespace talmar;
using talmar::test::FieldsOf;
using talmar::test::ReadFileBytes;
using talmar::test::RunProgram;
using talmar::test::TProgramRun;
using talmar::test::TPxField;
using talmar::test::TTempDir;
using talmar::test::WriteFileBytes;
using talmar::test::WriteParadox;

namespace {

namespace fs = std::filesystem;
using TRows = std::vector<std::vector<TValue>>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Repeat(const std::string& s, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += s;
    return out;
}

// Names of everything in a folder.
std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// The stored records of a table file, read through the program's table class, as values in the
// order of the program's definition.
TRows ReadTable(const fs::path& dir, TTableId id) {
    const TTableDef& def = TableDef(id);
    TTable t(def, (dir / def.fileName).string());
    t.Open();
    TRows rows;
    for (int r = 0; r < t.RecordCount(); ++r) {
        std::vector<TValue> row;
        for (const TFieldDef& f : def.fields)
            if (!f.calculated)
                row.push_back(t.ValueAt(r, t.FieldIndex(f.name)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string MbName(TTableId id) {
    return fs::path(TableDef(id).fileName).stem().string() + ".MB";
}

// A table of the program's definition as Paradox files in dir.
void WriteTable(const fs::path& dir, TTableId id, const TRows& rows) {
    WriteParadox((dir / TableDef(id).fileName).string(), (dir / MbName(id)).string(), FieldsOf(TableDef(id)),
                 rows);
}

TProgramRun Import(const fs::path& workDir, const fs::path& paradoxDir) {
    return RunProgram(TALMAR_TABLES_TOOL, {"import", paradoxDir.string()}, workDir);
}

// The demo tables of talmar-tables sample, read from their files.
std::map<TTableId, TRows> SampleRows() {
    TTempDir sample;
    EXPECT_EQ(RunProgram(TALMAR_TABLES_TOOL, {"sample"}, sample.Path()).status, 0);
    std::map<TTableId, TRows> rows;
    for (const TTableId id : kTableOrder)
        rows[id] = ReadTable(sample.Path(), id);
    return rows;
}

// A record of the program's definition with the given fields set and every other one empty.
std::vector<TValue> Record(TTableId id, std::initializer_list<std::pair<const char*, TValue>> values) {
    const TTableDef& def = TableDef(id);
    std::vector<TValue> row;
    for (const TFieldDef& f : def.fields)
        if (!f.calculated)
            row.emplace_back();
    for (const auto& [name, value] : values) {
        std::size_t i = 0;
        for (const TFieldDef& f : def.fields) {
            if (f.calculated)
                continue;
            if (f.name == name)
                row[i] = value;
            ++i;
        }
    }
    return row;
}

// The demo tables with records added that hold what the demo lacks: letters of the whole
// Windows-1251 Cyrillic range, memos past their 240-byte leader (one sharing a block of the memo
// file, one over 2 KB with blocks of its own), empty values, both Booleans, fractions and
// negative levels. Record order is not sorted by any column.
std::map<TTableId, TRows> TestRows() {
    auto rows = SampleRows();
    const std::string longMemo = Repeat("Линия 1200 Ом, ВЧ-заградитель на фазе «В».\r\n", 70); // about 3 KB
    const std::string shortMemo = Repeat("ёЁ-ъЪ-№ ", 40);                                      // 320 bytes
    auto& lf = rows[TTableId::DataLF];
    lf.insert(lf.begin(), Record(TTableId::DataLF, {{"NumKP", TValue(7)},
                                                    {"NameKP", TValue("Ёлкино ЪЫЬ эюя АБВ")},
                                                    {"CoeffTI1", TValue(-0.375)},
                                                    {"CoeffTI2", TValue(1234.5678)},
                                                    {"AttenTr1", TValue(-40)},
                                                    {"AttenRecAUX", TValue(-1)},
                                                    {"ResistTr", TValue(-24)},
                                                    {"Book", TValue(longMemo)},
                                                    {"ECodingIsLong", TValue(true)}}));
    lf.push_back(
        Record(TTableId::DataLF, {{"NameKP", TValue("Только название")}, {"Book", TValue(shortMemo)}}));
    auto& lt = rows[TTableId::DataLT];
    lt.push_back(Record(TTableId::DataLT, {{"NumKP", TValue(-3)},
                                           {"NameKP", TValue("Временная, 30 символов ровно!!")},
                                           {"AttenTr2", TValue(-33)},
                                           {"Book", TValue(Repeat("ж", 241))}}));
    auto& orten = rows[TTableId::DataORTEN];
    orten.push_back(Record(TTableId::DataORTEN, {{"NameKP", TValue("Подстанция №9 — резерв")},
                                                 {"ENumController", TValue(255)},
                                                 {"SysMode", TValue(-1)},
                                                 {"V4433", TValue("v1.07 от 12.03.2004")},
                                                 {"Book", TValue(shortMemo + longMemo)}}));
    rows[TTableId::ParamType].push_back(
        Record(TTableId::ParamType, {{"NumParam", TValue(-32767)},
                                     {"NameEng", TValue("eReserve")},
                                     {"NameRus", TValue("Резерв: не пишется")},
                                     {"TypeField", TValue("Б")}}));
    return rows;
}

void WriteAll(const fs::path& dir, const std::map<TTableId, TRows>& rows) {
    for (const auto& [id, r] : rows)
        WriteTable(dir, id, r);
}

struct ImportTool : ::testing::Test {
    TTempDir work;    // the working folder the tables are imported into
    TTempDir paradox; // the folder of the Paradox files
};

TEST_F(ImportTool, EveryTableComesOverFieldByFieldAndThePardoxFilesStayAsTheyWere) {
    const auto rows = TestRows();
    WriteAll(paradox.Path(), rows);
    // pxlib's writer ends the memo file right after a memo over 2 KB, short of its 4 KB block.
    EXPECT_NE(fs::file_size(paradox.File("Data_ORTEN.MB")) % 4096, 0u);
    std::map<std::string, std::string> before;
    for (const std::string& name : Listing(paradox.Path()))
        before[name] = ReadFileBytes(paradox.File(name));

    const TProgramRun r = Import(work.Path(), paradox.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const TTableId id : kTableOrder) {
        SCOPED_TRACE(TableDef(id).fileName);
        const TRows got = ReadTable(work.Path(), id);
        const TRows& want = rows.at(id);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(got[i], want[i]) << "record " << i + 1;
        const std::size_t columns = want.front().size();
        EXPECT_TRUE(Contains(
            r.out, TableDef(id).fileName + " из " + paradox.File(TableDef(id).fileName) +
                       (id == TTableId::Pref || id == TTableId::ParamType ? "" : " и " + MbName(id)) +
                       ": записей " + std::to_string(want.size()) + "; столбцы: совпали " +
                       std::to_string(columns) + ", пустые 0, лишние 0\n"))
            << r.out;
    }
    EXPECT_EQ(r.err, "");
    // Only the five tables are left in the working folder, and the Paradox files are untouched.
    EXPECT_EQ(Listing(work.Path()), (std::set<std::string>{"Data_LF.DB", "Data_LT.DB", "Data_ORTEN.DB",
                                                           "ParamType.db", "Pref.db"}));
    for (const auto& [name, bytes] : before)
        EXPECT_EQ(ReadFileBytes(paradox.File(name)), bytes) << name;
}

TEST_F(ImportTool, NamesAreMatchedIgnoringCaseAndColumnsMissingOrExtraAreReported) {
    // Data_LF without EChannelTr2, with two columns of its own, NumKP kept as a Number and
    // ENumController as a Short; the file names in other letter case; the other tables absent.
    std::vector<TPxField> fields = FieldsOf(TableDef(TTableId::DataLF));
    std::erase_if(fields, [](const TPxField& f) { return f.name == "EChannelTr2"; });
    for (TPxField& f : fields) {
        if (f.name == "NumKP")
            f = {"NUMKP", pxfNumber, 8};
        if (f.name == "ENumController")
            f = {"ENumController", pxfShort, 2};
    }
    fields.insert(fields.begin() + 2, {"Примечание", pxfAlpha, 40});
    fields.push_back({"Вес", pxfNumber, 8});
    TRows rows;
    for (int i = 0; i < 2; ++i) {
        std::vector<TValue> rec;
        for (const TPxField& f : fields) {
            if (f.name == "Примечание")
                rec.emplace_back(i == 0 ? TValue("Опора №17") : TValue());
            else if (f.name == "Вес")
                rec.emplace_back(i == 0 ? TValue(2.5) : TValue(-0.125));
            else if (f.name == "NUMKP")
                rec.emplace_back(i == 0 ? TValue(12.0) : TValue());
            else if (f.name == "ENumController")
                rec.emplace_back(i == 0 ? TValue(-5) : TValue(300));
            else
                rec.emplace_back();
        }
        rows.push_back(rec);
    }
    WriteParadox(paradox.File("DATA_LF.DB"), paradox.File("data_lf.mb"), fields, rows);

    const TProgramRun r = Import(work.Path(), paradox.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* skipped : {"Data_ORTEN.DB", "Data_LT.DB", "ParamType.db", "Pref.db"})
        EXPECT_TRUE(Contains(r.out, std::string(skipped) + ": нет в папке " + paradox.Path().string() +
                                        " - пропущена\n"))
            << r.out;
    EXPECT_TRUE(Contains(r.out, "Data_LF.DB из " + paradox.File("DATA_LF.DB") +
                                    " и data_lf.mb: записей 2; столбцы: совпали 38, пустые 1 (EChannelTr2), "
                                    "лишние 2 (Примечание, Вес)\n"))
        << r.out;
    EXPECT_EQ(Listing(work.Path()), std::set<std::string>{"Data_LF.DB"});

    TTable t(TableDef(TTableId::DataLF), work.File("Data_LF.DB"));
    t.Open();
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.ValueAt(0, t.FieldIndex("NumKP")), TValue(12));
    EXPECT_EQ(t.ValueAt(0, t.FieldIndex("ENumController")), TValue(-5));
    EXPECT_EQ(t.ValueAt(1, t.FieldIndex("ENumController")), TValue(300));
    EXPECT_EQ(t.ValueAt(0, t.FieldIndex("примечание")), TValue("Опора №17"));
    EXPECT_EQ(t.ValueAt(1, t.FieldIndex("Примечание")), TValue());
    EXPECT_EQ(t.ValueAt(0, t.FieldIndex("Вес")), TValue(2.5));
    EXPECT_EQ(t.ValueAt(1, t.FieldIndex("Вес")), TValue(-0.125));
    for (int r2 = 0; r2 < 2; ++r2)
        EXPECT_EQ(t.ValueAt(r2, t.FieldIndex("EChannelTr2")), TValue());
    EXPECT_EQ(t.Field(t.FieldIndex("Примечание")).type, TFieldType::Alpha);
    EXPECT_EQ(t.Field(t.FieldIndex("Примечание")).size, 40);
}

// Each case: a good Pref table beside the bad one; the import stops with a message naming the
// place, and nothing at all appears in the working folder.
TEST_F(ImportTool, RefusalsNameThePlaceAndLeaveTheWorkingFolderAsItWas) {
    const TRows pref = {Record(TTableId::Pref, {{"NumCom", TValue(3)}})};
    std::vector<TPxField> wideName = FieldsOf(TableDef(TTableId::DataLF));
    wideName[1].size = 40;
    const auto lfRecords = [](int n, const char* longName) {
        TRows rows;
        for (int i = 1; i <= n; ++i)
            rows.push_back(Record(TTableId::DataLF, {{"NumKP", TValue(i)},
                                                     {"NameKP", TValue(i == 2 && longName ? longName : "КП")},
                                                     {"Book", TValue(Repeat("з", 300))}}));
        return rows;
    };
    const std::string lfDb = paradox.File("Data_LF.DB");
    const std::string lfMb = paradox.File("Data_LF.MB");
    struct Case {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"text too long for its column",
         [&] { WriteParadox(lfDb, lfMb, wideName, lfRecords(3, "Подстанция с очень длинным именем")); },
         {"Data_LF.DB, запись 2, столбец NameKP", "не помещается в Alpha 30: в нём символов 33"}},
        {"number outside a Smallint",
         [&] {
             std::vector<TPxField> f = FieldsOf(TableDef(TTableId::ParamType));
             f[4] = {"Addr", pxfLong, 4};
             WriteParadox(paradox.File("ParamType.db"), "", f,
                          {Record(TTableId::ParamType, {{"Addr", TValue(10)}}),
                           Record(TTableId::ParamType, {{"Addr", TValue(40000)}})});
         },
         {"ParamType.db, запись 2, столбец Addr", "40000 не помещается в Smallint"}},
        {"fraction in an Integer column",
         [&] {
             std::vector<TPxField> f = FieldsOf(TableDef(TTableId::Pref));
             f[0].type = pxfNumber;
             f[0].size = 8;
             WriteParadox(paradox.File("Pref.db"), "", f, {{TValue(2.5), TValue(1)}});
         },
         {"Pref.db, запись 1, столбец NumCom", "2.5 не является целым"}},
        {"table file cut inside its header",
         [&] {
             WriteParadox(lfDb, lfMb, FieldsOf(TableDef(TTableId::DataLF)), lfRecords(3, nullptr));
             fs::resize_file(lfDb, 1000);
         },
         {"Файл Data_LF.DB повреждён", "обрезан внутри заголовка"}},
        {"table file cut inside a record",
         [&] {
             WriteParadox(lfDb, lfMb, FieldsOf(TableDef(TTableId::DataLF)), lfRecords(3, nullptr));
             fs::resize_file(lfDb, 2048 + 6 + 600);
         },
         {"Файл Data_LF.DB повреждён", "обрезан: блок данных 1"}},
        {"memo file missing",
         [&] {
             WriteParadox(lfDb, lfMb, FieldsOf(TableDef(TTableId::DataLF)), lfRecords(2, nullptr));
             fs::remove(lfMb);
         },
         {"Нет файла Data_LF.MB рядом с Data_LF.DB", "поля Book записи 1"}},
        {"memo file of another table",
         [&] {
             WriteParadox(lfDb, lfMb, FieldsOf(TableDef(TTableId::DataLF)), lfRecords(2, nullptr));
             WriteTable(paradox.Path(), TTableId::DataLT,
                        {Record(TTableId::DataLT, {{"Book", TValue(Repeat("ы", 3000))}})});
             fs::rename(paradox.File("Data_LT.MB"), lfMb);
             fs::remove(paradox.File("Data_LT.DB"));
         },
         {"Запись 1 таблицы Data_LF.DB, поле Book", "Data_LF.MB повреждён или не от этой таблицы"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : Listing(paradox.Path()))
            fs::remove(paradox.File(name));
        WriteTable(paradox.Path(), TTableId::Pref, pref);
        c.make();
        const TProgramRun r = Import(work.Path(), paradox.Path());
        EXPECT_EQ(r.status, 1) << r.err;
        std::size_t at = 0;
        for (const std::string& part : c.says) {
            at = r.err.find(part, at);
            EXPECT_NE(at, std::string::npos) << "missing: " << part << "\nin: " << r.err;
        }
        EXPECT_TRUE(Contains(r.err, "ничего не записано")) << r.err;
        EXPECT_TRUE(Listing(work.Path()).empty());
    }
}

TEST_F(ImportTool, AnExistingTableFileIsNeverOverwritten) {
    WriteTable(paradox.Path(), TTableId::Pref, {Record(TTableId::Pref, {{"NumCom", TValue(3)}})});
    WriteTable(paradox.Path(), TTableId::DataLT, {Record(TTableId::DataLT, {{"NumKP", TValue(1)}})});
    WriteFileBytes(work.File("Data_LT.DB"), "mine");
    const TProgramRun r = Import(work.Path(), paradox.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "уже есть файл Data_LT.DB; он не перезаписывается")) << r.err;
    EXPECT_EQ(ReadFileBytes(work.File("Data_LT.DB")), "mine");
    EXPECT_EQ(Listing(work.Path()), std::set<std::string>{"Data_LT.DB"});

    // Without it, both come over.
    fs::remove(work.File("Data_LT.DB"));
    EXPECT_EQ(Import(work.Path(), paradox.Path()).status, 0);
    EXPECT_EQ(ReadTable(work.Path(), TTableId::DataLT).size(), 1u);
}

// The program meets a Paradox table in its working folder: the message names the file and the
// way over, and the way it gives works.
TEST_F(ImportTool, TheOldFormatMessageGivesAWayOverThatWorks) {
    const auto rows = TestRows();
    WriteAll(work.Path(), rows);
    const fs::path previous = fs::current_path();
    fs::current_path(work.Path());
    TTable lf(TableDef(TTableId::DataLF));
    try {
        lf.Open();
        ADD_FAILURE() << "a Paradox table opened";
    } catch (const ETableError& e) {
        EXPECT_EQ(e.Fault(), ETableError::TFault::OldFormat);
        const std::string text = e.what();
        EXPECT_TRUE(Contains(text, "Файл Data_LF.DB в папке " + work.Path().string())) << text;
        EXPECT_TRUE(Contains(
            text, "переложите все файлы Paradox (*.DB и *.MB) из этой папки в отдельную папку, "
                  "например paradox, и выполните в этой папке команду: talmar-tables import paradox"))
            << text;
    }
    fs::create_directory(work.File("paradox"));
    for (const std::string& name : Listing(work.Path()))
        if (name != "paradox")
            fs::rename(work.File(name), work.File("paradox/" + name));
    const TProgramRun r = RunProgram(TALMAR_TABLES_TOOL, {"import", "paradox"}, work.Path());
    EXPECT_EQ(r.status, 0) << r.err;
    lf.Open();
    EXPECT_EQ(lf.RecordCount(), static_cast<int>(rows.at(TTableId::DataLF).size()));
    lf.Close();
    fs::current_path(previous);
}

// A record that came over programs the modem exactly as the same record typed into the
// program's own tables: the demo tables (typed in) against their copy brought over as Paradox.
TEST_F(ImportTool, AnImportedRecordProgramsTheSameImageAsTheTypedOne) {
    TTempDir typed;
    ASSERT_EQ(RunProgram(TALMAR_TABLES_TOOL, {"sample"}, typed.Path()).status, 0);
    std::map<TTableId, TRows> rows;
    for (const TTableId id : kTableOrder)
        rows[id] = ReadTable(typed.Path(), id);
    WriteAll(paradox.Path(), rows);
    ASSERT_EQ(Import(work.Path(), paradox.Path()).status, 0);

    sim::TModemSim typedSim, importedSim;
    for (const char* kp : {"КП-1 Подстанция Северная", "КП-2 Насосная"}) {
        SCOPED_TRACE(kp);
        const TProgramRun a = RunProgram(TALMAR_CLI, {"settings", "lf", kp}, typed.Path(),
                                         {{"TALMAR_COM2", typedSim.SlavePath()}});
        const TProgramRun b = RunProgram(TALMAR_CLI, {"settings", "lf", kp}, work.Path(),
                                         {{"TALMAR_COM2", importedSim.SlavePath()}});
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        const std::string image = ReadFileBytes(typed.File("temp.eep"));
        EXPECT_GT(image.size(), 100u);
        EXPECT_EQ(ReadFileBytes(work.File("temp.eep")), image);
        EXPECT_EQ(importedSim.Eeprom(0), typedSim.Eeprom(0));
        EXPECT_NE(importedSim.Eeprom(0), sim::TBytes(importedSim.Eeprom(0).size(), 0xFF));
    }
}

// A Paradox table whose header has the bytes 0x25..0x28 changed: pxlib goes round its block
// decryption for ever on it.
void WriteHangingOrten(const fs::path& dir) {
    WriteTable(dir, TTableId::DataORTEN, {Record(TTableId::DataORTEN, {{"NameKP", TValue("КП-1")}})});
    std::string bytes = ReadFileBytes((dir / "Data_ORTEN.DB").string());
    bytes.replace(0x25, 4, "\x01\x02\x03\x04");
    WriteFileBytes((dir / "Data_ORTEN.DB").string(), bytes);
}

// Processes running in a folder (the import's child inherits its working folder). With `end`
// they are killed, so that a failing test leaves nothing spinning.
std::vector<pid_t> ProcessesIn(const fs::path& dir, bool end) {
    std::vector<pid_t> found;
    const fs::path wanted = fs::canonical(dir);
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code ec;
        if (fs::read_symlink(e.path() / "cwd", ec) == wanted) {
            found.push_back(std::stoi(name));
            if (end)
                kill(found.back(), SIGKILL);
        }
    }
    return found;
}

// Whether a process is still running in the folder once a killed child had time to end.
bool ProcessLeftIn(const fs::path& dir) {
    for (int i = 0; i < 100 && !ProcessesIn(dir, false).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return !ProcessesIn(dir, true).empty();
}

// The current folder for one scope.
struct TInFolder {
    explicit TInFolder(const fs::path& dir) : previous(fs::current_path()) { fs::current_path(dir); }
    ~TInFolder() { fs::current_path(previous); }
    fs::path previous;
};

// The import run inside the test process, in `work`; its messages are returned in err.
int ImportHere(const fs::path& work, const fs::path& paradox, const TImportOptions& options,
               std::string* err) {
    const TInFolder in(work);
    std::FILE* out = std::tmpfile();
    std::FILE* errors = std::tmpfile();
    const int status = ImportTables(paradox.string(), out, errors, options);
    std::rewind(errors);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, errors)) > 0;)
        err->append(buffer, n);
    std::fclose(out);
    std::fclose(errors);
    return status;
}

TEST_F(ImportTool, AReadingThatDoesNotEndIsStoppedAndTheFileReportedDamaged) {
    TTempDir tempRoot;
    const fs::path temp = tempRoot.Path() / "Временные файлы"; // the import's temporary folder
    fs::create_directory(temp);
    WriteHangingOrten(paradox.Path());
    WriteTable(paradox.Path(), TTableId::Pref, {Record(TTableId::Pref, {{"NumCom", TValue(3)}})});
    const auto start = std::chrono::steady_clock::now();
    const TProgramRun r = RunProgram(TALMAR_TABLES_TOOL, {"import", paradox.Path().string()}, work.Path(),
                                     {{"TALMAR_IMPORT_TIME_LIMIT_MS", "1000"}, {"TMPDIR", temp.string()}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "Файл Data_ORTEN.DB повреждён: библиотека чтения таблиц Paradox не дочитала его "
                         "за 1 с и остановлена\ntalmar-tables: ничего не записано\n"))
        << r.err;
    EXPECT_TRUE(Listing(work.Path()).empty());
    EXPECT_TRUE(Listing(temp).empty());
    EXPECT_FALSE(ProcessLeftIn(work.Path())) << "the reading child was left running";
}

// Ctrl+C reaches the whole process group; SIGTERM (kill, a service manager) the import alone.
TEST_F(ImportTool, AnInterruptedImportRemovesItsCopiesAndEndsItsChild) {
    WriteHangingOrten(paradox.Path());
    for (const bool group : {true, false}) {
        const int sig = group ? SIGINT : SIGTERM;
        SCOPED_TRACE(sig);
        TTempDir temp;
        const std::string dir = work.Path().string(), tmp = temp.Path().string();
        const std::string folder = paradox.Path().string();
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            if (chdir(dir.c_str()) != 0)
                _exit(127);
            setenv("TMPDIR", tmp.c_str(), 1);
            setenv("TALMAR_LOCK_DIR", dir.c_str(), 1);
            setenv("TALMAR_IMPORT_TIME_LIMIT_MS", "120000", 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(TALMAR_TABLES_TOOL, TALMAR_TABLES_TOOL, "import", folder.c_str(), nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // Once the private copy is there, the child is reading it (or about to).
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (Listing(temp.Path()).empty() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_FALSE(Listing(temp.Path()).empty());
        kill(group ? -pid : pid, sig);
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the import did not end";
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(Listing(temp.Path()).empty());
        EXPECT_TRUE(Listing(work.Path()).empty());
        EXPECT_FALSE(ProcessLeftIn(work.Path())) << "the reading child was left running";
    }
}

// Interrupted while the new files are there: some written beside their names, one already named.
TEST_F(ImportTool, AnImportInterruptedAmongItsNewFilesLeavesTheWorkingFolderAsItWas) {
    WriteAll(paradox.Path(), TestRows());
    TImportOptions options;
    options.placing = [](const std::string& name) {
        if (name == "Data_LF.DB")
            raise(SIGTERM);
    };
    // The import runs in a child of the test, which the signal ends.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        CatchInterrupts();
        std::string err;
        if (ImportHere(work.Path(), paradox.Path(), options, &err) == 130)
            EndAsInterrupted();
        _exit(0);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(Listing(work.Path()).empty());
}

// A table file that another program makes while the import runs: the tables already named by
// then are taken back, the other program's file is kept.
TEST_F(ImportTool, ATableFileAppearingMidwayTakesBackTheTablesAlreadyPlaced) {
    WriteAll(paradox.Path(), TestRows());
    TImportOptions options;
    options.placing = [&](const std::string& name) {
        if (name == "Data_LT.DB")
            WriteFileBytes(work.File(name), "theirs");
    };
    std::string err;
    EXPECT_EQ(ImportHere(work.Path(), paradox.Path(), options, &err), 2);
    EXPECT_TRUE(
        Contains(err, "Файл Data_LT.DB появился в текущей папке во время перевода; он не перезаписан"))
        << err;
    EXPECT_EQ(Listing(work.Path()), std::set<std::string>{"Data_LT.DB"});
    EXPECT_EQ(ReadFileBytes(work.File("Data_LT.DB")), "theirs");
}

// A fault between writing a table and reading it back (here: one value changed in the file) fails
// the import, naming the place.
TEST_F(ImportTool, TheReadBackFindsOneWrongValue) {
    WriteAll(paradox.Path(), SampleRows());
    TImportOptions options;
    options.written = [&](const std::string& file) {
        if (file.find("Data_LF.DB") == std::string::npos)
            return;
        TTable t(TableDef(TTableId::DataLF), work.File(file));
        t.Open();
        t.SetRecNo(2);
        t.Edit();
        t.SetFieldByName("AttenTr1", TValue(t.FieldByName("AttenTr1").AsInteger() - 1));
        t.Post();
        t.Close();
    };
    const auto rows = SampleRows().at(TTableId::DataLF);
    const TTableDef& def = TableDef(TTableId::DataLF);
    const auto column = std::find_if(def.fields.begin(), def.fields.end(),
                                     [](const TFieldDef& f) { return f.name == "AttenTr1"; }) -
                        def.fields.begin();
    const std::int64_t level = rows.at(1).at(static_cast<std::size_t>(column)).AsInteger();
    std::string err;
    EXPECT_EQ(ImportHere(work.Path(), paradox.Path(), options, &err), 1);
    EXPECT_TRUE(Contains(err, "Проверка Data_LF.DB: значения новой таблицы не равны значениям из " +
                                  paradox.File("Data_LF.DB") +
                                  ":\n  запись 2, столбец AttenTr1: в Paradox \"" + std::to_string(level) +
                                  "\", прочитано \"" + std::to_string(level - 1) + "\"\n"))
        << err;
    EXPECT_TRUE(Listing(work.Path()).empty());
}

// Header size of a table file and where the field `at` of record `record` (from 0) starts, for
// tables of one block.
std::size_t FieldOffset(const std::string& db, const std::vector<TPxField>& fields, std::size_t record,
                        std::size_t at) {
    std::size_t recordSize = 0, offset = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t size =
            static_cast<std::size_t>(fields[i].size) + (fields[i].type == pxfMemoBLOb ? 10 : 0);
        if (i < at)
            offset += size;
        recordSize += size;
    }
    const std::size_t header = static_cast<unsigned char>(db[2]) | static_cast<unsigned char>(db[3]) << 8;
    return header + 6 + record * recordSize + offset;
}

// Paradox keeps what was typed in an Alpha field before behind the zero that ends its text.
TEST_F(ImportTool, AnAlphaFieldThatStartsWithZeroIsEmpty) {
    const std::vector<TPxField> fields = FieldsOf(TableDef(TTableId::ParamType));
    const fs::path folder = paradox.Path() / "Старая база"; // a folder name as a Russian user gives it
    fs::create_directory(folder);
    const std::string file = (folder / "ParamType.db").string();
    WriteParadox(file, "", fields,
                 {Record(TTableId::ParamType, {{"NumParam", TValue(1)}, {"NameEng", TValue("eOld")}}),
                  Record(TTableId::ParamType, {{"NumParam", TValue(2)}, {"NameEng", TValue("eNumKP1")}})});
    std::string bytes = ReadFileBytes(file);
    bytes[FieldOffset(bytes, fields, 0, 1)] = 0;
    WriteFileBytes(file, bytes);
    const TProgramRun r = Import(work.Path(), folder);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        ReadTable(work.Path(), TTableId::ParamType),
        (TRows{Record(TTableId::ParamType, {{"NumParam", TValue(1)}}),
               Record(TTableId::ParamType, {{"NumParam", TValue(2)}, {"NameEng", TValue("eNumKP1")}})}));
}

// A memo file cut inside the pointers of a block of short texts, and a record pointing at a text
// whose pointer the cut left out.
TEST_F(ImportTool, AMemoFileCutInsideABlockIsReportedWithoutReadingPastItsEnd) {
    WriteTable(paradox.Path(), TTableId::DataLT,
               {Record(TTableId::DataLT, {{"NumKP", TValue(1)}, {"Book", TValue(Repeat("щ", 300))}})});
    const std::string mb = ReadFileBytes(paradox.File("Data_LT.MB"));
    std::string db = ReadFileBytes(paradox.File("Data_LT.DB"));
    const std::vector<TPxField> fields = FieldsOf(TableDef(TTableId::DataLT));
    const std::size_t book = FieldOffset(db, fields, 0, 37) + 240; // the 10-byte pointer after the leader
    ASSERT_EQ(db.substr(book + 4, 2), std::string("\x2c\x01", 2)) << "the text's length, 300";
    const std::size_t block =
        static_cast<unsigned char>(db[book + 1]) * 256u; // texts in whole 256-byte units
    ASSERT_EQ(mb[block], 3) << "a block of short texts";
    db[book] = 63; // its last pointer, at 12 + 5 * 63
    WriteFileBytes(paradox.File("Data_LT.DB"), db);
    WriteFileBytes(paradox.File("Data_LT.MB"), mb.substr(0, block + 100));
    const TProgramRun r = Import(work.Path(), paradox.Path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        Contains(r.err, "Запись 1 таблицы Data_LT.DB, поле Book: файл Data_LT.MB повреждён или не от этой "
                        "таблицы: файл обрезан внутри указателя текста 63 (блок " +
                            std::to_string(block) + ")"))
        << r.err;
    EXPECT_TRUE(Listing(work.Path()).empty());
}

} // namespace
