#pragma once
// Tables of the old desktop database made by the tests themselves with pxlib's own writer:
// text is given in UTF-8 and written in Windows-1251, values as the program holds them.

#include "store/TableDef.h"
#include "store/Value.h"

#include <string>
#include <vector>

namespace talmar::test {

// A Paradox field: its name (UTF-8), pxlib's type code and its size in the record (for an
// Alpha the characters, for a Memo the leader: the part of the text kept in the record).
struct TPxField {
    std::string name;
    int type;
    int size;
};

// The Paradox fields of a table of the program's definition, in its order: Integer as Long
// Integer, Smallint as Short, Float as Number, Alpha n as Alpha n, Boolean as Logical, Memo as a
// memo with a 240-byte leader. Calculated fields are left out.
std::vector<TPxField> FieldsOf(const TTableDef& def);

// Writes a table file of file type 2 (unkeyed) with code page 1251; when it has memo fields,
// the memo file mbPath beside it. A null value is an empty field.
void WriteParadox(const std::string& dbPath, const std::string& mbPath, const std::vector<TPxField>& fields,
                  const std::vector<std::vector<TValue>>& records);

} // namespace talmar::test
