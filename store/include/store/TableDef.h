#pragma once
// The program's definitions of its five tables. Each table is an SQLite 3 file in the current
// directory holding one table named as the file without its extension; the columns carry these
// names in this order with these declared types, so that the sqlite3 shell, scripts and
// importers read and write the same files:
//   Integer INTEGER, Smallint SMALLINT, Float REAL, Alpha n VARCHAR(n), Boolean BOOLEAN (0 or 1),
//   Memo TEXT. Text is UTF-8.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace talmar {

// Other is a column of a file that the program does not define (extra columns are allowed).
enum class TFieldType { Integer, Smallint, Float, Alpha, Boolean, Memo, Other };

struct TFieldDef {
    std::string name;
    TFieldType type = TFieldType::Integer;
    int size = 0;      // characters of an Alpha column
    std::string label; // display label of the editors' grids, when the column has one
    bool calculated = false;
    std::string declared; // declared type as found in the file (extra columns only)
};

// Exclusive: no other program may read or write the file while Talmar has it open.
enum class TOpenMode { Exclusive, Shared };

enum class TTableId { DataORTEN, DataLF, DataLT, ParamType, Pref };

struct TTableDef {
    TTableId id;
    std::string component; // "TDataLF": the name the builder and the settings command compare
    std::string fileName;  // "Data_LF.DB"
    std::string tableName; // "Data_LF"
    TOpenMode mode;
    bool orderByPrimaryKey; // read in the order of the file's primary key, when it declares one
    std::vector<TFieldDef> fields;
};

const TTableDef& TableDef(TTableId id);

// The tables are opened, and at exit closed, in this order.
inline constexpr std::array<TTableId, 5> kTableOrder = {
    TTableId::DataORTEN, TTableId::DataLF, TTableId::DataLT, TTableId::ParamType, TTableId::Pref};

// "INTEGER", "VARCHAR(30)"...: the declared type of a defined column.
std::string DeclaredType(const TFieldDef& field);

// The statement that makes the table with the program's definitions (stored columns only).
std::string CreateTableSql(const TTableDef& def);

// Writes a new table file at path holding the empty table. Refuses (ETableError) when a file of
// that name exists already: an existing table is never overwritten.
void CreateTableFile(const TTableDef& def, const std::string& path);

// A name quoted for SQL: "Data_LF", with inner quotes doubled.
std::string QuoteId(const std::string& s);

} // namespace talmar
