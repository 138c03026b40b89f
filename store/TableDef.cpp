#include "store/TableDef.h"

#include "base/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <unistd.h>

namespace talmar {
namespace {

TFieldDef Int(const char* name, const char* label = "") {
    return {name, TFieldType::Integer, 0, label, false, {}};
}
TFieldDef Small(const char* name) {
    return {name, TFieldType::Smallint, 0, {}, false, {}};
}
TFieldDef Real(const char* name) {
    return {name, TFieldType::Float, 0, {}, false, {}};
}
TFieldDef Alpha(const char* name, int size, const char* label = "") {
    return {name, TFieldType::Alpha, size, label, false, {}};
}
TFieldDef Memo(const char* name) {
    return {name, TFieldType::Memo, 0, {}, false, {}};
}
TFieldDef Bool(const char* name) {
    return {name, TFieldType::Boolean, 0, {}, false, {}};
}

TTableDef MakeDataLF() {
    return {TTableId::DataLF,
            "TDataLF",
            "Data_LF.DB",
            "Data_LF",
            TOpenMode::Exclusive,
            false,
            {Int("NumKP"),
             Alpha("NameKP", 30, "Название КП"),
             Real("CoeffTI1"),
             Real("CoeffTI2"),
             Int("ELpLocation1"),
             Int("EErrTY1"),
             Int("EForvardTC"),
             Int("EForvardTY"),
             Int("ESuperLongImpTC"),
             Int("ELongImpTC"),
             Int("EImpTC"),
             Int("ESuperLongImpTY1"),
             Int("ESuperLongImpTY2"),
             Int("ELongImpTY1"),
             Int("ELongImpTY2"),
             Int("EImpTY1"),
             Int("EImpTY2"),
             Int("EControllerFoundAttempts"),
             Int("EPlaceOn"),
             Int("EPlaceOff"),
             Int("EPlaceNumObject1"),
             Int("EPlaceNumObject2"),
             Int("EPlaceNumGroup1"),
             Int("EPlaceNumGroup2"),
             Int("ENumController"),
             Int("EChannelRec1"),
             Int("EChannelRecAUX"),
             Int("EChannelTr1"),
             Int("EChannelTr2"),
             Int("EChannelTrAUX"),
             Int("AttenRec1"),
             Int("AttenRecAUX"),
             Int("AttenTr1"),
             Int("AttenTr2"),
             Int("AttenTrAUX"),
             Memo("Book"),
             Int("EUseTI"),
             Int("ResistTr"),
             Bool("ECodingIsLong")}};
}

TTableDef MakeDataLT() {
    return {TTableId::DataLT,
            "TDataLT",
            "Data_LT.DB",
            "Data_LT",
            TOpenMode::Exclusive,
            false,
            {Int("NumKP"),
             Alpha("NameKP", 30, "Название КП"),
             Int("ELpLocation1"),
             Int("ELpLocation2"),
             Int("EErrTY1"),
             Int("EErrTY2"),
             Int("EForvardTC"),
             Int("EForvardTY"),
             Int("ESuperLongImpTY1"),
             Int("ESuperLongImpTY2"),
             Int("ELongImpTY1"),
             Int("ELongImpTY2"),
             Int("EImpTY1"),
             Int("EImpTY2"),
             Int("EWidthImpTC1"),
             Int("EWidthImpTC2"),
             Int("EDelayImpTC1"),
             Int("EDelayImpTC2"),
             Int("EPlaceOn"),
             Int("EPlaceOff"),
             Int("EPlaceNumObject1"),
             Int("EPlaceNumObject2"),
             Int("EPlaceNumGroup1"),
             Int("EPlaceNumGroup2"),
             Int("EControllerFoundAttempts"),
             Int("ENumController"),
             Int("ENumsTCChannel"),
             Int("EChannelRec1"),
             Int("EChannelRecAUX"),
             Int("EChannelTr1"),
             Int("EChannelTr2"),
             Int("EChannelTrAUX"),
             Int("AttenRec1"),
             Int("AttenRecAUX"),
             Int("AttenTr1"),
             Int("AttenTr2"),
             Int("AttenTrAUX"),
             Memo("Book"),
             Int("ResistTr")}};
}

TTableDef MakeDataORTEN() {
    TFieldDef text = Alpha("TextSysMode", 15, "Система ТМ");
    text.calculated = true;
    return {TTableId::DataORTEN,
            "TDataORTEN",
            "Data_ORTEN.DB",
            "Data_ORTEN",
            TOpenMode::Shared,
            true,
            {Alpha("NameKP", 30, "Название КП"), Int("ENumController", "N МКД"),
             Int("EControllerFoundAttempts"), Int("EChannelRecAUX"), Int("EChannelTrAUX"), Int("AttenRec1"),
             Int("AttenRecAUX"), Int("AttenTr1"), Int("AttenTrAUX"), Memo("Book"), Int("ResistTr"),
             Int("SysMode"), text, Alpha("V4433", 20, "версия AT90S4433")}};
}

TTableDef MakeParamType() {
    return {TTableId::ParamType,
            "TParamType",
            "ParamType.db",
            "ParamType",
            TOpenMode::Exclusive,
            false,
            {Small("NumParam"), Alpha("NameEng", 50), Alpha("NameRus", 50), Small("Size"), Small("Addr"),
             Alpha("TypeField", 1)}};
}

TTableDef MakePref() {
    return {TTableId::Pref,
            "Pref",
            "Pref.db",
            "Pref",
            TOpenMode::Exclusive,
            false,
            {Int("NumCom"), Int("TypeRemoteControl")}};
}

} // namespace

const TTableDef& TableDef(TTableId id) {
    static const std::array<TTableDef, 5> defs = {MakeDataORTEN(), MakeDataLF(), MakeDataLT(),
                                                  MakeParamType(), MakePref()};
    return defs[static_cast<std::size_t>(id)];
}

std::string DeclaredType(const TFieldDef& field) {
    switch (field.type) {
    case TFieldType::Integer:
        return "INTEGER";
    case TFieldType::Smallint:
        return "SMALLINT";
    case TFieldType::Float:
        return "REAL";
    case TFieldType::Alpha:
        return "VARCHAR(" + std::to_string(field.size) + ")";
    case TFieldType::Boolean:
        return "BOOLEAN";
    case TFieldType::Memo:
        return "TEXT";
    case TFieldType::Other:
        return field.declared;
    }
    return {};
}

std::string CreateTableSql(const TTableDef& def) {
    std::string sql = "CREATE TABLE " + QuoteId(def.tableName) + " (";
    bool first = true;
    for (const TFieldDef& f : def.fields) {
        if (f.calculated)
            continue;
        if (!first)
            sql += ", ";
        first = false;
        sql += QuoteId(f.name) + " " + DeclaredType(f);
    }
    return sql + ")";
}

void CreateTableFile(const TTableDef& def, const std::string& path) {
    // O_EXCL makes the refusal race-free: a file that appears meanwhile is not overwritten either.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            throw ETableError(ETableError::TFault::General,
                              "Файл " + path + " уже существует; он не перезаписан");
        throw ETableError(ETableError::TFault::General,
                          "Не удалось создать файл " + path + ": " + std::strerror(err));
    }
    ::close(fd);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::string error;
    if (rc == SQLITE_OK) {
        char* msg = nullptr;
        const std::string sql = "PRAGMA journal_mode=DELETE; " + CreateTableSql(def) + ";";
        rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
        if (rc != SQLITE_OK)
            error = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
    } else {
        error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    }
    sqlite3_close(db);
    if (!error.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        throw ETableError(ETableError::TFault::General, "Не удалось создать таблицу " + path + ": " + error);
    }
}

std::string QuoteId(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace talmar
