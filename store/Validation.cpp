#include "store/Validation.h"

#include "RecordTexts.h"
#include "base/Host.h"
#include "store/DMTables.h"
#include "store/Text.h"

#include <algorithm>
#include <initializer_list>

namespace talmar {
namespace {

// The five rules of a frequency-system record; nothing for the other tables.
std::vector<std::string> RuleProblems(TTable& table) {
    std::vector<std::string> problems;
    if (table.Name() != "TDataLF")
        return problems;

    // Every value has passed the check above: a whole number of the column's 32 bits, so the
    // differences below cannot overflow.
    const auto v = [&](const char* name) { return table.CheckedValue(table.FieldIndex(name)).AsInteger(); };
    const auto increasing = [](std::initializer_list<std::int64_t> chain) {
        return std::adjacent_find(chain.begin(), chain.end(), [](auto a, auto b) { return !(a < b); }) ==
               chain.end();
    };
    const auto in = [](std::int64_t p, std::int64_t lo, std::int64_t hi) { return lo <= p && p <= hi; };

    if (!increasing({v("EImpTY1"), v("EImpTY2"), v("ELongImpTY1"), v("ELongImpTY2"), v("ESuperLongImpTY1"),
                     v("ESuperLongImpTY2")}))
        problems.push_back("Ошибка в параметрах длительностей ТУ");
    // This text has always ended in a Latin C after the Cyrillic Т; it is kept byte for byte.
    if (!increasing({v("EImpTC"), v("ELongImpTC"), v("ESuperLongImpTC")}))
        problems.push_back("Ошибка в параметрах длительностей ТC");

    const std::int64_t on = v("EPlaceOn"), off = v("EPlaceOff");
    const std::int64_t obj1 = v("EPlaceNumObject1"), obj2 = v("EPlaceNumObject2");
    const std::int64_t grp1 = v("EPlaceNumGroup1"), grp2 = v("EPlaceNumGroup2");
    const std::int64_t diff = on - off;
    if (!((diff == 1 || diff == -1) && !in(on, obj1, obj2) && !in(off, obj1, obj2) && !in(on, grp1, grp2) &&
          !in(off, grp1, grp2)))
        problems.push_back("Ошибка в местах расположения группы Вкл/Откл ТУ");
    if (!(in(obj2 - obj1, 0, 15) && !in(obj1, grp1, grp2) && !in(obj2, grp1, grp2)))
        problems.push_back("Ошибка в местах расположения объектов ТУ");
    if (!in(grp2 - grp1, 0, 4))
        problems.push_back("Ошибка в местах расположения групп ТУ");
    return problems;
}

} // namespace

std::string ColumnProblem(TDMTables& dm, TTable& table, int field, int source, const TParam** param,
                          TValue* value) {
    const std::string name = Trim(table.Field(field).name);
    const TParam* p = dm.FindParam(name);
    if (!p)
        return kNoParam + name;
    // A file may hold what could never be typed into the column (text or a 64-bit number in an
    // integer column): such a value is refused as a typed one is. Texts are taken as they are.
    TValue v;
    const TFieldType type = table.Field(source).type;
    try {
        v = type == TFieldType::Alpha || type == TFieldType::Memo ? table.Value(source)
                                                                  : table.CheckedValue(source);
    } catch (const EValueError& e) {
        return "Параметр \"" + ShownName(*p) + "\": " + e.what() + kFixIt;
    }
    // The notes may stay empty; every other column goes to the modem.
    if (v.IsNull() && name != "Book")
        return EmptyParamText(*p);
    *param = p;
    if (value)
        *value = std::move(v);
    return {};
}

std::vector<TRefusal> ValidateRecord(TDMTables& dm, TTable& table) {
    RequireOpen(table);
    for (int f = 0; f < table.StoredFieldCount(); ++f) {
        const TParam* row = nullptr;
        std::string problem = ColumnProblem(dm, table, f, f, &row, nullptr);
        if (!problem.empty())
            return {{TRefusal::TKind::Incomplete, std::move(problem)}};
    }
    std::vector<TRefusal> refusals;
    for (std::string& text : RuleProblems(table))
        refusals.push_back({TRefusal::TKind::Rule, std::move(text)});
    return refusals;
}

std::string RefusalText(const std::vector<TRefusal>& refusals) {
    std::string out;
    for (const TRefusal& r : refusals)
        out += (out.empty() ? "" : "; ") + r.text;
    return out;
}

bool CheckSettings(TDMTables& dm, IHost& host, TTable& table) {
    RequireOpen(table);
    table.ApplyCommitRule();
    const std::vector<TRefusal> refusals = ValidateRecord(dm, table);
    for (const TRefusal& r : refusals) {
        if (r.kind == TRefusal::TKind::Incomplete)
            host.ShowMessage(r.text);
        else
            host.ShowMessage(r.text, "Ошибка", TMsgButtons::OkCancel, TMsgIcon::None);
    }
    return refusals.empty();
}

} // namespace talmar
