#include "store/DMTables.h"

#include "store/Text.h"

#include <algorithm>

namespace talmar {

bool IsLineResistance(std::int64_t value) {
    return std::find(std::begin(kLineResistances), std::end(kLineResistances), value) !=
           std::end(kLineResistances);
}

std::string TextSysMode(const TValue& sysMode) {
    if (sysMode.Kind() != TValue::TKind::Integer)
        return {};
    switch (sysMode.AsInteger()) {
    case -1:
        return "выполняю...";
    case 0:
        return "Не отвечает";
    case kSysFrequency:
        return "Частотная";
    case kSysTime:
        return "Временная";
    case kSysORTEN:
        return "ОРТЕН";
    default:
        return {};
    }
}

bool TParam::TwoBytes() const {
    try {
        return !size.IsNull() && size.AsInteger() == 2;
    } catch (const EValueError&) {
        return false; // anything but 2 is one byte
    }
}

TDMTables::TDMTables(IHost& host)
    : host_(host), orten_(TableDef(TTableId::DataORTEN)), lf_(TableDef(TTableId::DataLF)),
      lt_(TableDef(TTableId::DataLT)), paramType_(TableDef(TTableId::ParamType)),
      pref_(TableDef(TTableId::Pref)) {
    const auto& defs = TableDef(TTableId::DataORTEN).fields;
    const auto text = std::find_if(defs.begin(), defs.end(), [](const TFieldDef& f) { return f.calculated; });
    orten_.AddCalculatedField(*text, [](const TTable& t, const std::vector<TValue>& record) {
        const int f = t.FindField("SysMode");
        const std::string s = f < 0 ? std::string() : TextSysMode(record[f]);
        return s.empty() ? TValue() : TValue(s);
    });
    // The lookup index follows every change of the parameter table's values.
    paramType_.Subscribe([this](const TTableChange& c) {
        if (c.event != TTableEvent::RecordMoved && c.event != TTableEvent::BeforeMove &&
            c.event != TTableEvent::BeforePost)
            paramIndexValid_ = false;
    });
}

TDMTables::~TDMTables() {
    try {
        Close();
    } catch (...) {
        // Nothing may escape a destructor; Close has reported what it could.
    }
}

TTable& TDMTables::Table(TTableId id) {
    switch (id) {
    case TTableId::DataORTEN:
        return orten_;
    case TTableId::DataLF:
        return lf_;
    case TTableId::DataLT:
        return lt_;
    case TTableId::ParamType:
        return paramType_;
    case TTableId::Pref:
        return pref_;
    }
    return pref_;
}

void TDMTables::ShowError(const std::exception& e) {
    host_.ShowMessage(e.what(), {}, TMsgButtons::Ok, TMsgIcon::Error);
}

bool TDMTables::Open() {
    for (const TTableId id : kTableOrder) {
        try {
            Table(id).Open();
        } catch (const std::exception& e) {
            ShowError(e);
            return false;
        }
    }
    BuildParamIndex();
    return true;
}

void TDMTables::Close() {
    for (const TTableId id : kCommitOrder) {
        try {
            Table(id).ApplyCommitRule();
        } catch (const std::exception& e) {
            ShowError(e);
        }
    }
    Deactivate();
}

void TDMTables::Deactivate() {
    for (const TTableId id : kTableOrder)
        Table(id).Close();
}

void TDMTables::BuildParamIndex() {
    params_.clear();
    paramIndex_.clear();
    const int fEng = paramType_.FieldIndex("NameEng");
    const int fRus = paramType_.FieldIndex("NameRus");
    const int fSize = paramType_.FieldIndex("Size");
    const int fAddr = paramType_.FieldIndex("Addr");
    for (int r = 0; r < paramType_.RecordCount(); ++r) {
        TParam p{Trim(paramType_.ValueAt(r, fEng).AsString()), paramType_.ValueAt(r, fRus).AsString(),
                 paramType_.ValueAt(r, fSize), paramType_.ValueAt(r, fAddr)};
        if (p.nameEng.empty())
            continue;
        // The first row of a name wins, as a search from the top of the table would find it.
        if (paramIndex_.emplace(FoldCase(p.nameEng), params_.size()).second)
            params_.push_back(std::move(p));
    }
    paramIndexValid_ = true;
}

const TParam* TDMTables::FindParam(std::string_view name) {
    if (!paramType_.Active())
        throw ETableError(ETableError::TFault::Closed,
                          "Таблица ParamType (файл " + paramType_.FileName() + ") не открыта");
    if (!paramIndexValid_)
        BuildParamIndex();
    const auto it = paramIndex_.find(FoldCase(Trim(name)));
    return it == paramIndex_.end() ? nullptr : &params_[it->second];
}

int TDMTables::NumCom() {
    // A value no one could type (text, a number beyond 32 bits) is reported with its place.
    return static_cast<int>(pref_.CheckedValue(pref_.FieldIndex("NumCom")).AsInteger());
}

} // namespace talmar
