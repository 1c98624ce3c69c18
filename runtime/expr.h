// Stored expressions: index keys, FOR conditions and other xBase expressions kept as text in the
// files. An expression is compiled once against the fields of a table and then evaluated per
// record.
//
// The language: field names (ALIAS->FIELD or FIELD->NAME for the current area), text literals in
// "...", '...' or [...], numbers, dates {^YYYY-MM-DD}, logicals .T. .F. .Y. .N.; the operators
// + - * / % (unary - and +), = == != <> # < <= > >= $, .NOT. (also !), .AND., .OR. and
// parentheses; the functions DTOS DTOC CTOD UPPER LOWER STR VAL SUBSTR LEFT RIGHT TRIM RTRIM
// LTRIM ALLTRIM PADR PADL IIF DELETED RECNO DATE EMPTY, which may be shortened to their first four
// letters or more (SUBS, ALLT). Names are case-insensitive.
//
// Text comparison follows the runtime with exact comparison off: "ABC" = "AB" is true,
// "AB" = "ABC" is false, and anything equals ""; == compares the whole texts.
//
// Errors while evaluating (an operand of the wrong type, a division by zero) go through
// raiseError with subsystem "BASE". A division by zero answered with Zero gives 0 and the
// evaluation goes on; any other answer, and any answer to an argument error, ends the evaluation
// and the expression's value is NIL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/value.h"

namespace wv {

// A field as the expression sees it: the name in capitals, the type letter (C N F D L M, others
// are read through fieldValue), the offset of its bytes in the record, length and decimals.
struct ExprField {
    std::string name;
    char type = 'C';
    uint32_t offset = 0;
    uint16_t len = 0;
    uint8_t dec = 0;
};

// What an expression needs of the table it runs on. The table layer implements it.
class ExprContext {
public:
    virtual ~ExprContext() = default;
    // Resolves a field, optionally qualified by an alias ("" when unqualified); -1 when unknown.
    // Alias and name are passed in capitals.
    virtual int fieldIndex(std::string_view alias, std::string_view name) const = 0;
    virtual const ExprField& field(int idx) const = 0;
    // Raw bytes of the current record (deletion flag at 0, fields at their offsets), or null when
    // the field is not in this record buffer (then fieldValue is used).
    virtual const char* record(int idx) = 0;
    virtual Value fieldValue(int idx) = 0;  // general path (memos, other areas)
    virtual bool deleted() = 0;
    virtual uint32_t recNo() = 0;
};

namespace exprimpl {
class Node;
}

class Expr {
public:
    // Compiles text against the fields of schema (field types and offsets are taken from it and
    // must not change while the Expr lives). Returns null on an unknown function or field, a wrong
    // number of arguments or a syntax error, with a message in *error (when error is not null),
    // in code page 1252 like every text of the program: "Función desconocida: FOO",
    // "Campo desconocido: BAR", "Error de sintaxis en la posición 7" (counted from 1).
    static std::unique_ptr<Expr> compile(std::string_view text, const ExprContext& schema,
                                         std::string* error);
    ~Expr();
    Expr(const Expr&) = delete;
    Expr& operator=(const Expr&) = delete;

    // Evaluates on the current record of ctx. Nil after an error that ended the evaluation.
    //
    // The nodes keep scratch buffers between calls so that evaluating record after record does
    // not allocate: eval and evalText are const but one Expr must not be evaluated by two
    // threads at once, nor re-entered from inside the context's callbacks.
    Value eval(ExprContext& ctx) const;
    // For character results: the text into out (its capacity is reused, so a key built record
    // after record into the same string does not allocate). False, with out empty, when the
    // result is not text or the evaluation ended with an error.
    bool evalText(ExprContext& ctx, std::string& out) const;

    // The type of the result on a blank record (the phantom record after the last): Nil when the
    // expression cannot give a value there (an operand of the wrong type).
    Value::Type type() const { return type_; }
    const std::string& text() const { return text_; }

private:
    Expr() = default;
    std::string text_;
    std::unique_ptr<exprimpl::Node> root_;
    Value::Type type_ = Value::Type::Nil;
};

}  // namespace wv
