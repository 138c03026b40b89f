#include "store/Value.h"

#include "store/Text.h"

#include <charconv>
#include <cmath>

namespace talmar {
namespace {

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// Where the digits of a number start: after one optional sign, "+" or "-" (from_chars takes
// only the minus itself). Null for empty text and for a sign followed by another sign ("+-5").
const char* SkipPlus(const std::string& t) {
    if (t.empty())
        return nullptr;
    if (t.front() != '+')
        return t.data();
    if (t.size() < 2 || t[1] == '-' || t[1] == '+')
        return nullptr;
    return t.data() + 1;
}

} // namespace

std::int64_t TValue::AsInteger() const {
    switch (Kind()) {
    case TKind::Null:
        return 0;
    case TKind::Integer:
        return std::get<std::int64_t>(v_);
    case TKind::Boolean:
        return std::get<bool>(v_) ? 1 : 0;
    case TKind::Float: {
        const double d = std::get<double>(v_);
        // 2^63 is exactly representable; anything at or beyond it does not fit.
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 ||
            d >= 9223372036854775808.0)
            throw EValueError("Значение " + FormatFloat(d) + " не является целым числом");
        return static_cast<std::int64_t>(d);
    }
    case TKind::Text: {
        const std::string& s = std::get<std::string>(v_);
        const std::string t = Trim(s);
        std::int64_t out = 0;
        const char* first = SkipPlus(t);
        if (!first)
            throw EValueError(Quoted(s) + " не является целым числом");
        const auto [end, ec] = std::from_chars(first, t.data() + t.size(), out);
        if (ec != std::errc() || end != t.data() + t.size())
            throw EValueError(Quoted(s) + " не является целым числом");
        return out;
    }
    }
    return 0;
}

double TValue::AsFloat() const {
    switch (Kind()) {
    case TKind::Null:
        return 0.0;
    case TKind::Integer:
        return static_cast<double>(std::get<std::int64_t>(v_));
    case TKind::Boolean:
        return std::get<bool>(v_) ? 1.0 : 0.0;
    case TKind::Float:
        return std::get<double>(v_);
    case TKind::Text: {
        const std::string& s = std::get<std::string>(v_);
        std::string t = Trim(s);
        // Typed numbers may use the Russian decimal comma.
        for (char& c : t)
            if (c == ',')
                c = '.';
        double out = 0.0;
        const char* first = SkipPlus(t);
        if (!first)
            throw EValueError(Quoted(s) + " не является числом");
        const auto [end, ec] = std::from_chars(first, t.data() + t.size(), out);
        if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(out))
            throw EValueError(Quoted(s) + " не является числом");
        return out;
    }
    }
    return 0.0;
}

std::string TValue::AsString() const {
    switch (Kind()) {
    case TKind::Null:
        return {};
    case TKind::Integer:
        return std::to_string(std::get<std::int64_t>(v_));
    case TKind::Boolean:
        return std::get<bool>(v_) ? "True" : "False";
    case TKind::Float:
        return FormatFloat(std::get<double>(v_));
    case TKind::Text:
        return std::get<std::string>(v_);
    }
    return {};
}

bool TValue::AsBoolean() const {
    switch (Kind()) {
    case TKind::Null:
        return false;
    case TKind::Boolean:
        return std::get<bool>(v_);
    case TKind::Integer:
    case TKind::Float: {
        const double d = AsFloat();
        if (d == 0.0)
            return false;
        if (d == 1.0)
            return true;
        throw EValueError("Значение " + AsString() + " не является логическим (0 или 1)");
    }
    case TKind::Text: {
        const std::string t = FoldCase(Trim(std::get<std::string>(v_)));
        if (t == "1" || t == "true" || t == "да")
            return true;
        if (t == "0" || t == "false" || t == "нет")
            return false;
        throw EValueError(Quoted(std::get<std::string>(v_)) + " не является логическим значением");
    }
    }
    return false;
}

std::string FormatFloat(double v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc())
        return "?";
    return std::string(buf, end);
}

} // namespace talmar
