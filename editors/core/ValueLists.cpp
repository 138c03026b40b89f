#include "editors/core/ValueLists.h"

namespace talmar {

namespace {

// Spacing as on the modem's documentation: the blanks keep the hertz column aligned in the
// chooser's font.
constexpr TChooserEntry kChannels[] = {
    {"1 канал   -  450    Гц", 1}, {"2 канал   -  630    Гц", 2}, {"3 канал   -  810    Гц", 3},
    {"4 канал   -  990    Гц", 4}, {"5 канал   -  1170  Гц", 5},  {"6 канал   -  1350  Гц", 6},
    {"7 канал   -  1530  Гц", 7},  {"8 канал   -  1710  Гц", 8},  {"9 канал   -  1890  Гц", 9},
    {"10 канал -  2070  Гц", 10},  {"11 канал -  2250  Гц", 11},  {"12 канал -  2430  Гц", 12},
    {"13 канал -  2610  Гц", 13},  {"14 канал -  2790  Гц", 14},  {"15 канал -  2970  Гц", 15},
    {"16 канал -  3150  Гц", 16},  {"17 канал -  3330  Гц", 17},  {"18 канал -  3510  Гц", 18},
    {"19 канал -  3690  Гц", 19},
};

constexpr TChooserEntry kResistShort[] = {
    {"200 || 200", 0},     {"200", -6},   {"600 || 600", -9},    {"600", -15},
    {"1200 || 1200", -15}, {"1200", -21}, {"1800 || 1800", -18}, {"1800", -24},
};

constexpr TChooserEntry kResistLong[] = {
    {"200   -  середина линии", 0},     {"200   -       конец линии", -6}, {"600   -  середина линии", -9},
    {"600   -       конец линии", -15}, {"1200 -  середина линии", -15},   {"1200 -       конец линии", -21},
    {"1800 -  середина линии", -18},    {"1800 -       конец линии", -24},
};

} // namespace

TValueList WorkingChannels() {
    return kChannels;
}

TValueList AuxChannels() {
    return TValueList(kChannels).first(16);
}

TValueList LineResistances(TResistWording wording) {
    return wording == TResistWording::Long ? TValueList(kResistLong) : TValueList(kResistShort);
}

int ChooserIndex(TValueList list, const TValue& v) {
    std::int64_t n = 0;
    switch (v.Kind()) {
    case TValue::TKind::Null:
        return -1;
    case TValue::TKind::Integer:
        n = v.AsInteger();
        break;
    default:
        try {
            n = v.AsInteger();
        } catch (const EValueError&) {
            return -1;
        }
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].value == n)
            return static_cast<int>(i);
    return -1;
}

} // namespace talmar
