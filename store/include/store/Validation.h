#pragma once
// Whether a settings record may be programmed: every column has its parameter row and a value the
// column would take typed (the notes may stay empty), and a frequency-system record keeps the five
// rules on its telecontrol and telesignalling parameters. The check names every refusal and shows
// nothing; whoever asked shows or prints them.

#include <string>
#include <vector>

namespace talmar {

class IHost;
class TDMTables;
class TTable;
class TValue;
struct TParam;

struct TRefusal {
    enum class TKind {
        Incomplete, // a column that cannot go to the modem (shown as a plain message)
        Rule,       // a failed rule of the frequency system (shown in a box captioned "Ошибка")
    };
    TKind kind;
    std::string text;
};

// The refusals of the current record of TDataLF, TDataLT or TDataORTEN, in the order they are
// shown: the first incomplete column alone, else every failed rule. Empty when it may be
// programmed. Neither commits the record nor shows anything; throws ETableError when the table or
// ParamType.db is not open.
std::vector<TRefusal> ValidateRecord(TDMTables& dm, TTable& table);

// The refusals as one line, "; " between them; empty when there are none.
std::string RefusalText(const std::vector<TRefusal>& refusals);

// The check as the editors run it before programming: the commit rule, then every refusal shown to
// the user (a failed rule in an OK/Cancel box captioned "Ошибка"; the answer changes nothing).
// Returns whether the record may be programmed.
bool CheckSettings(TDMTables& dm, IHost& host, TTable& table);

// The completeness check of one column, shared with the image builder: the message, or empty with
// the parameter row and the value of the column source (the column itself, or the one it is built
// from).
std::string ColumnProblem(TDMTables& dm, TTable& table, int field, int source, const TParam** param,
                          TValue* value);

} // namespace talmar
