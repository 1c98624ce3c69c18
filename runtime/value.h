// The values the system passes around: text (bytes in code page 1252), number, date, logical,
// nil and array. A number remembers the width and decimals it was produced with, because the
// runtime's conversion to text depends on them (a field N(8,2) converts to 8 characters, a whole
// number to 10).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace wv {

// A calendar date as a Julian day number; 0 is the empty date.
struct Date {
    int32_t jd = 0;
    bool empty() const { return jd == 0; }
    friend bool operator==(Date a, Date b) { return a.jd == b.jd; }
    friend auto operator<=>(Date a, Date b) { return a.jd <=> b.jd; }
};

struct Number {
    double value = 0;
    int16_t width = 10;  // integer digits plus sign for a whole number; whole field width otherwise
    int16_t decimals = 0;
};

class Value;
using Array = std::vector<Value>;

class Value {
public:
    enum class Type : uint8_t { Nil, Text, Number, Date, Logical, Array };

    Value() = default;
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(Number n) : v_(n) {}
    Value(Date d) : v_(d) {}
    Value(bool b) : v_(b) {}
    Value(Array a) : v_(std::make_shared<Array>(std::move(a))) {}

    // A number as the runtime makes it: whole values are 10 wide with no decimals; others keep
    // the given decimals (the runtime's default of 2 when not told).
    static Value number(double d, int decimals = -1);
    // A number read from a field of the given width and decimals.
    static Value number(double d, int width, int decimals) {
        return Value(Number{d, int16_t(width), int16_t(decimals)});
    }
    static Value emptyOf(Type t);

    Type type() const { return Type(v_.index()); }
    bool isNil() const { return type() == Type::Nil; }
    bool isText() const { return type() == Type::Text; }
    bool isNumber() const { return type() == Type::Number; }
    bool isDate() const { return type() == Type::Date; }
    bool isLogical() const { return type() == Type::Logical; }
    bool isArray() const { return type() == Type::Array; }

    // Accessors; asking for the wrong type gives the empty value of the asked type.
    const std::string& text() const;
    double num() const;
    const Number& numberInfo() const;
    Date date() const;
    bool logical() const;
    const Array& array() const;
    Array& array();

    // The runtime's type letter: C, N, D, L, U (nil), A.
    char typeLetter() const;
    // True for the empty value of its type (blank text, 0, empty date, false, nil, no elements).
    bool isEmpty() const;

    // Conversion to text as the runtime does it: numbers right-aligned in their width, dates in
    // the process date format, logicals as T/F, nil as "NIL", arrays as "{ Array }".
    std::string toText() const;

    friend bool operator==(const Value& a, const Value& b);

private:
    std::variant<std::monostate, std::string, Number, Date, bool, std::shared_ptr<Array>> v_;
};

}  // namespace wv
