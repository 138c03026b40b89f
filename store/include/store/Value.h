#pragma once
// One field value of a table record. Every column of every table may be empty, so a value is
// either null or one of the four kinds the tables hold.

#include "base/Errors.h"

#include <concepts>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>

namespace talmar {

class TValue {
public:
    enum class TKind { Null, Integer, Float, Text, Boolean };

    TValue() = default;
    template <std::integral T>
    requires(!std::same_as<T, bool>) TValue(T v) : v_(static_cast<std::int64_t>(v)) {}
    TValue(double v) : v_(v) {}
    TValue(std::string v) : v_(std::move(v)) {}
    TValue(const char* v) : v_(std::string(v)) {}
    TValue(bool v) : v_(v) {}

    TKind Kind() const { return static_cast<TKind>(v_.index()); }
    bool IsNull() const { return Kind() == TKind::Null; }

    // Conversions. A null value gives 0, 0.0, "" and false. Text is parsed (blanks around the
    // number are allowed); a float becomes a whole number only when it has no fraction.
    std::int64_t AsInteger() const;
    double AsFloat() const;
    std::string AsString() const;
    bool AsBoolean() const;

    // Same kind and same value; a null equals only a null.
    bool operator==(const TValue& other) const = default;

private:
    std::variant<std::monostate, std::int64_t, double, std::string, bool> v_;
};

// Shortest text that reads back as the same double, with a point: 1.15, 2, -0.5.
std::string FormatFloat(double v);

} // namespace talmar
