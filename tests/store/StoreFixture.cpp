#include "tests/store/StoreFixture.h"

#include <algorithm>
#include <sqlite3.h>
#include <stdexcept>

namespace talmar::test {

void ExecSql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    char* msg = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    const std::string error = msg ? msg : "";
    sqlite3_free(msg);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(file + ": " + error);
}

void CreateAllTables() {
    for (const TTableId id : kTableOrder)
        CreateTableFile(TableDef(id), TableDef(id).fileName);
}

void CreateKeyedOrten(const std::string& insert) {
    std::string sql = CreateTableSql(TableDef(TTableId::DataORTEN));
    sql.replace(sql.find("\"NameKP\" VARCHAR(30)"), 20, "\"NameKP\" VARCHAR(30) PRIMARY KEY");
    ExecSql("Data_ORTEN.DB", sql + "; " + insert);
}

void WriteTestMap(std::initializer_list<const char*> leaveOut) {
    struct TEntry {
        const char* name;
        int size;
        int addr; // -1: not written, Addr left empty
    };
    static const TEntry kMap[] = {{"NumKP", 0, -1},
                                  {"NameKP", 0, -1},
                                  {"CoeffTI1", 0, -1},
                                  {"CoeffTI2", 0, -1},
                                  {"Book", 0, -1},
                                  {"ResistTr", 0, -1},
                                  {"eSysMode", 1, 0x00},
                                  {"eNumKP1", 1, 0x01},
                                  {"eNumKP2", 1, 0x02},
                                  {"ec11", 1, 0x03},
                                  {"ec12", 2, 0x04},
                                  {"ec21", 1, 0x06},
                                  {"ec22", 2, 0x07},
                                  {"ELpLocation1", 1, 0x10},
                                  {"EErrTY1", 1, 0x11},
                                  {"EForvardTC", 1, 0x12},
                                  {"EForvardTY", 1, 0x13},
                                  {"ESuperLongImpTC", 2, 0x14},
                                  {"ELongImpTC", 2, 0x16},
                                  {"EImpTC", 2, 0x18},
                                  {"ESuperLongImpTY1", 2, 0x1A},
                                  {"ESuperLongImpTY2", 2, 0x1C},
                                  {"ELongImpTY1", 2, 0x1E},
                                  {"ELongImpTY2", 2, 0x20},
                                  {"EImpTY1", 2, 0x22},
                                  {"EImpTY2", 2, 0x24},
                                  {"EControllerFoundAttempts", 1, 0x26},
                                  {"EPlaceOn", 1, 0x27},
                                  {"EPlaceOff", 1, 0x28},
                                  {"EPlaceNumObject1", 1, 0x29},
                                  {"EPlaceNumObject2", 1, 0x2A},
                                  {"EPlaceNumGroup1", 1, 0x2B},
                                  {"EPlaceNumGroup2", 1, 0x2C},
                                  {"ENumController", 1, 0x2D},
                                  {"EChannelRec1", 1, 0x2E},
                                  {"EChannelRecAUX", 1, 0x2F},
                                  {"EChannelTr1", 1, 0x30},
                                  {"EChannelTr2", 1, 0x31},
                                  {"EChannelTrAUX", 1, 0x32},
                                  {"AttenRec1", 1, 0x33},
                                  {"AttenRec1Prec", 1, 0x34},
                                  {"AttenRecAUX", 1, 0x35},
                                  {"AttenRecAUXPrec", 1, 0x36},
                                  {"AttenTr1", 1, 0x37},
                                  {"AttenTr1Prec", 1, 0x38},
                                  {"AttenTr2", 1, 0x39},
                                  {"AttenTr2Prec", 1, 0x3A},
                                  {"AttenTrAUX", 1, 0x3B},
                                  {"AttenTrAUXPrec", 1, 0x3C},
                                  {"EUseTI", 1, 0x3D},
                                  {"ECodingIsLong", 1, 0x3E},
                                  {"ELpLocation2", 1, 0x40},
                                  {"EErrTY2", 1, 0x41},
                                  {"EWidthImpTC1", 2, 0x42},
                                  {"EWidthImpTC2", 2, 0x44},
                                  {"EDelayImpTC1", 2, 0x46},
                                  {"EDelayImpTC2", 2, 0x48},
                                  {"ENumsTCChannel", 1, 0x4A}};
    std::string sql = "DELETE FROM ParamType;";
    int n = 0;
    for (const TEntry& e : kMap) {
        if (std::find_if(leaveOut.begin(), leaveOut.end(),
                         [&](const char* s) { return std::string(s) == e.name; }) != leaveOut.end())
            continue;
        const std::string size = e.addr < 0 ? "NULL" : std::to_string(e.size);
        const std::string addr = e.addr < 0 ? "NULL" : std::to_string(e.addr);
        sql += "INSERT INTO ParamType VALUES (" + std::to_string(++n) + ", '" + e.name + "', 'Имя " + e.name +
               "', " + size + ", " + addr + ", NULL);";
    }
    ExecSql("ParamType.db", sql);
}

void SetRecord(TTable& table, std::initializer_list<std::pair<const char*, TValue>> values) {
    table.Edit();
    for (const auto& [name, value] : values)
        table.SetFieldByName(name, value);
    table.Post();
}

void TDataModuleTest::SetUp() {
    CreateAllTables();
    WriteTestMap();
    ASSERT_TRUE(dm.Open()) << (host.messages.empty() ? "" : host.messages[0].text);
}

} // namespace talmar::test
