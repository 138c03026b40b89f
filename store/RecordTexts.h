#pragma once
// What the validation and the image builder of a settings record say alike: the missing parameter
// row, the empty column, the fix the user is asked for, and the table that is not open.

#include "base/Errors.h"
#include "store/DMTables.h"
#include "store/Table.h"

#include <string>

namespace talmar {

inline const std::string kNoParam = "Тимбо, внеси в TParamType параметр ";
inline const std::string kFixIt = ". Исправьте данные и повторите прошивку";

inline std::string EmptyParamText(const TParam& p) {
    return "Параметр \"" + p.nameRus + "\" незаполнен. Внесите данные и повторите прошивку";
}

inline std::string ShownName(const TParam& p) {
    return p.nameRus.empty() ? p.nameEng : p.nameRus;
}

inline void RequireOpen(const TTable& table) {
    if (!table.Active())
        throw ETableError(ETableError::TFault::Closed, "Таблица " + table.Definition().tableName + " (файл " +
                                                           table.FileName() + ") не открыта");
}

} // namespace talmar
