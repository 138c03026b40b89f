#pragma once
// Errors of the table layer: a table file that cannot be opened, read or written. The text is
// Russian, names the file and is shown to the user as it is by the application's error handler.

#include <stdexcept>
#include <string>

namespace talmar {

class TDbError : public std::runtime_error {
public:
    enum class TKind { General, Missing, Locked, Damaged, OldFormat, Definition, Closed };

    TDbError(TKind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
    TKind Kind() const { return kind_; }

private:
    TKind kind_;
};

} // namespace talmar
