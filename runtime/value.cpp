#include "runtime/value.h"

#include <cmath>

#include "runtime/date.h"
#include "runtime/numtext.h"
#include "runtime/settings.h"

namespace wv {

namespace {
const std::string kEmptyText;
const Number kZero{};
const Array kNoElements;
}  // namespace

Value Value::number(double d, int decimals) {
    if (decimals < 0) decimals = d == std::floor(d) ? 0 : settings().decimals;
    int width = 10;
    double mag = std::fabs(d);
    // Whole part wider than ten positions widens the number instead of overflowing.
    while (width < 30 && mag >= pow10(width - (d < 0 ? 1 : 0))) ++width;
    if (decimals > 0) width += 1 + decimals;
    return Value(Number{d, int16_t(width), int16_t(decimals)});
}

Value Value::emptyOf(Type t) {
    switch (t) {
        case Type::Text: return Value(std::string());
        case Type::Number: return Value(Number{});
        case Type::Date: return Value(Date{});
        case Type::Logical: return Value(false);
        case Type::Array: return Value(Array{});
        case Type::Nil: break;
    }
    return Value();
}

const std::string& Value::text() const {
    auto p = std::get_if<std::string>(&v_);
    return p ? *p : kEmptyText;
}
double Value::num() const {
    auto p = std::get_if<Number>(&v_);
    return p ? p->value : 0.0;
}
const Number& Value::numberInfo() const {
    auto p = std::get_if<Number>(&v_);
    return p ? *p : kZero;
}
Date Value::date() const {
    auto p = std::get_if<Date>(&v_);
    return p ? *p : Date{};
}
bool Value::logical() const {
    auto p = std::get_if<bool>(&v_);
    return p ? *p : false;
}
const Array& Value::array() const {
    auto p = std::get_if<std::shared_ptr<Array>>(&v_);
    return p && *p ? **p : kNoElements;
}
Array& Value::array() {
    auto p = std::get_if<std::shared_ptr<Array>>(&v_);
    if (!p) {
        v_ = std::make_shared<Array>();
        p = std::get_if<std::shared_ptr<Array>>(&v_);
    }
    return **p;
}

char Value::typeLetter() const {
    switch (type()) {
        case Type::Text: return 'C';
        case Type::Number: return 'N';
        case Type::Date: return 'D';
        case Type::Logical: return 'L';
        case Type::Array: return 'A';
        case Type::Nil: break;
    }
    return 'U';
}

bool Value::isEmpty() const {
    switch (type()) {
        case Type::Text: return text().find_first_not_of(" \t\r\n") == std::string::npos;
        case Type::Number: return num() == 0;
        case Type::Date: return date().empty();
        case Type::Logical: return !logical();
        case Type::Array: return array().empty();
        case Type::Nil: break;
    }
    return true;
}

std::string Value::toText() const {
    switch (type()) {
        case Type::Text: return text();
        case Type::Number: {
            const Number& n = numberInfo();
            return str(n.value, n.width, n.decimals);
        }
        case Type::Date: return dtoc(date());
        case Type::Logical: return logical() ? "T" : "F";
        case Type::Array: return "{ Array }";
        case Type::Nil: break;
    }
    return "NIL";
}

bool operator==(const Value& a, const Value& b) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
        case Value::Type::Text: return a.text() == b.text();
        case Value::Type::Number: return a.num() == b.num();
        case Value::Type::Date: return a.date() == b.date();
        case Value::Type::Logical: return a.logical() == b.logical();
        case Value::Type::Array: return &a.array() == &b.array();
        case Value::Type::Nil: return true;
    }
    return false;
}

}  // namespace wv
