#pragma once
// The data module: the five tables of the current directory and the parameter lookup. The image of a record
// is built by SettingsImage.h, its check is Validation.h.

#include "base/Host.h"
#include "store/Table.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace talmar {

// The values of the line-resistance chooser, in dB: the correction added to a transmit level.
inline constexpr int kLineResistances[] = {0, -6, -9, -15, -18, -21, -24};
bool IsLineResistance(std::int64_t value);

// System codes: what eSysMode holds and SysMode shows.
inline constexpr int kSysFrequency = 1;
inline constexpr int kSysTime = 2;
inline constexpr int kSysORTEN = 3;

// The text shown for SysMode: -1 "выполняю...", 0 "Не отвечает", 1..3 the system; else empty.
std::string TextSysMode(const TValue& sysMode);

// At exit the commit rule is applied to these tables, in this order, before they are closed.
inline constexpr std::array<TTableId, 4> kCommitOrder = {TTableId::DataORTEN, TTableId::DataLF,
                                                         TTableId::DataLT, TTableId::Pref};

// One row of ParamType.db.
struct TParam {
    std::string nameEng;
    std::string nameRus;
    TValue size;
    TValue addr;
    bool TwoBytes() const; // Size 2; any other value (empty included) is one byte
};

class TDMTables {
public:
    explicit TDMTables(IHost& host);
    // Saves and closes (Close) if still open.
    ~TDMTables();
    TDMTables(const TDMTables&) = delete;
    TDMTables& operator=(const TDMTables&) = delete;

    TTable& TDataLF() { return lf_; }
    TTable& TDataLT() { return lt_; }
    TTable& TDataORTEN() { return orten_; }
    TTable& TParamType() { return paramType_; }
    TTable& Pref() { return pref_; }
    TTable& Table(TTableId id);

    // Opening at start: the tables in kTableOrder. The first that fails is reported to the user
    // in an error box and it and the tables after it stay closed; start-up goes on. Returns
    // whether all five are open.
    bool Open();
    // Closing at exit: the commit rule is applied to TDataORTEN, TDataLF, TDataLT and Pref in this
    // order, then all five are closed in kTableOrder. A commit the file refuses is reported in an error box;
    // closing goes on.
    void Close();
    // Closes the five tables in kTableOrder without committing anything (an error escaped the
    // message loop).
    void Deactivate();

    // The ParamType.db row whose NameEng equals name without regard to letter case (blanks
    // around either are ignored), or null. Throws ETableError when ParamType.db is not open.
    const TParam* FindParam(std::string_view name);

    // Pref.NumCom of the current record as a whole number (empty gives 0).
    int NumCom();

private:
    void ShowError(const std::exception& e);
    void BuildParamIndex();

    IHost& host_;
    TTable orten_;
    TTable lf_;
    TTable lt_;
    TTable paramType_;
    TTable pref_;

    std::vector<TParam> params_;
    std::unordered_map<std::string, std::size_t> paramIndex_;
    bool paramIndexValid_ = false;
};

} // namespace talmar
