#include "runtime/expr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/error.h"
#include "runtime/numtext.h"

namespace wv {
namespace exprimpl {

// ---------------------------------------------------------------------------------------------
// Nodes
//
// Every node knows at compile time what kind of value it gives when it succeeds. Text nodes
// append their text to the caller's string, so that a key like field+STR(n,4)+DTOS(d) is built in
// place in one buffer; numbers, dates and logicals come back by value. Only nodes whose kind
// depends on the data (IIF with branches of different types, fields of unusual types, + and -
// on operands of unknown type) go through Value.

enum class K : uint8_t { Text, Num, Date, Log, Any };

// Thrown once the handler has answered an error that ends the evaluation.
struct Abort {};

using Ctx = ExprContext;

class Node {
public:
    explicit Node(K k) : kind(k) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Only the method matching kind is called; Any nodes answer value() alone.
    virtual void text(Ctx&, std::string&) const {}
    virtual Number num(Ctx&) const { return {}; }
    virtual Date date(Ctx&) const { return {}; }
    virtual bool logical(Ctx&) const { return false; }
    virtual Value value(Ctx& c) const;

    K kind;
    // Raises an argument error whenever it is evaluated (an operand evaluated unconditionally
    // has the wrong type); such an expression has no type.
    bool fails = false;
};

using NodePtr = std::unique_ptr<Node>;

Value Node::value(Ctx& c) const {
    switch (kind) {
        case K::Text: {
            std::string s;
            text(c, s);
            return Value(std::move(s));
        }
        case K::Num: return Value(num(c));
        case K::Date: return Value(date(c));
        case K::Log: return Value(logical(c));
        case K::Any: break;
    }
    return Value();
}

namespace {

// ---------------------------------------------------------------------------------------------
// Errors

struct Op {
    const char* name;
    int subCode;
};

constexpr int kArgError = 1;  // the runtime's generic "argument error"

const Op kPlus{"+", 1081}, kMinus{"-", 1082}, kMul{"*", 1083}, kDiv{"/", 1084}, kMod{"%", 1085};
const Op kNeg{"-", 1080}, kExactEq{"==", 1070}, kEq{"=", 1071}, kNe{"<>", 1072}, kLt{"<", 1073};
const Op kLe{"<=", 1074}, kGt{">", 1075}, kGe{">=", 1076}, kNot{".NOT.", 1077};
const Op kAnd{".AND.", 1078}, kOr{".OR.", 1079}, kIn{"$", 1109};

[[noreturn]] void argError(const Op& op, Array args) {
    Error e;
    e.genCode = kArgError;
    e.subSystem = "BASE";
    e.subCode = op.subCode;
    e.description = "Error de argumento";
    e.operation = op.name;
    e.args = std::move(args);
    e.canDefault = true;
    raiseError(e);
    throw Abort{};
}

// A zero divisor: 0 when the handler substitutes it, otherwise the evaluation ends.
Number zeroDivisor(const Op& op, Number a, Number b) {
    Error e;
    e.genCode = gen::kZeroDiv;
    e.subSystem = "BASE";
    e.subCode = op.subCode == kMod.subCode ? 1341 : 1340;
    e.description = "Divisi\xF3n por cero";
    e.operation = op.name;
    e.args = Array{Value(a), Value(b)};
    e.canDefault = true;
    if (raiseError(e) == ErrorChoice::Zero) return Number{0, 10, 0};
    throw Abort{};
}

// Operands of an expected type. A node of another kind is evaluated as a value and checked.
void getText(const Node& n, Ctx& c, std::string& out, const Op& op) {
    if (n.kind == K::Text) return n.text(c, out);
    Value v = n.value(c);
    if (!v.isText()) argError(op, {v});
    out += v.text();
}
Number getNum(const Node& n, Ctx& c, const Op& op) {
    if (n.kind == K::Num) return n.num(c);
    Value v = n.value(c);
    if (!v.isNumber()) argError(op, {v});
    return v.numberInfo();
}
Date getDate(const Node& n, Ctx& c, const Op& op) {
    if (n.kind == K::Date) return n.date(c);
    Value v = n.value(c);
    if (!v.isDate()) argError(op, {v});
    return v.date();
}
bool getLog(const Node& n, Ctx& c, const Op& op) {
    if (n.kind == K::Log) return n.logical(c);
    Value v = n.value(c);
    if (!v.isLogical()) argError(op, {v});
    return v.logical();
}

// True when a node of kind k can never give what want asks for.
bool wrongKind(K k, K want) { return k != K::Any && k != want; }

// ---------------------------------------------------------------------------------------------
// Shared rules

bool blankText(std::string_view s) { return s.find_first_not_of(" \t\r\n") == s.npos; }

// Text ordering with exact comparison off: the right operand decides how far to compare, so a
// left text that begins with the right one is equal to it, and "" equals anything.
int compareText(std::string_view a, std::string_view b) {
    if (b.empty()) return 0;
    size_t n = std::min(a.size(), b.size());
    int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (r) return r;
    return b.size() <= a.size() ? 0 : -1;
}

enum class Rel : uint8_t { Eq, ExactEq, Ne, Lt, Le, Gt, Ge };

const Op& relOp(Rel r) {
    switch (r) {
        case Rel::Eq: return kEq;
        case Rel::ExactEq: return kExactEq;
        case Rel::Ne: return kNe;
        case Rel::Lt: return kLt;
        case Rel::Le: return kLe;
        case Rel::Gt: return kGt;
        case Rel::Ge: return kGe;
    }
    return kEq;
}

bool relResult(Rel r, int cmp) {
    switch (r) {
        case Rel::Eq:
        case Rel::ExactEq: return cmp == 0;
        case Rel::Ne: return cmp != 0;
        case Rel::Lt: return cmp < 0;
        case Rel::Le: return cmp <= 0;
        case Rel::Gt: return cmp > 0;
        case Rel::Ge: return cmp >= 0;
    }
    return false;
}

template <class T>
int order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool compareTexts(Rel r, std::string_view a, std::string_view b) {
    if (r == Rel::ExactEq) return a == b;
    return relResult(r, compareText(a, b));
}

bool compareValues(Rel r, const Value& a, const Value& b) {
    if (a.type() != b.type()) argError(relOp(r), {a, b});
    switch (a.type()) {
        case Value::Type::Text: return compareTexts(r, a.text(), b.text());
        case Value::Type::Number: return relResult(r, order(a.num(), b.num()));
        case Value::Type::Date: return relResult(r, order(a.date().jd, b.date().jd));
        case Value::Type::Logical: return relResult(r, order(int(a.logical()), int(b.logical())));
        case Value::Type::Nil:
            if (r == Rel::Eq || r == Rel::ExactEq || r == Rel::Ne) return relResult(r, 0);
            break;
        case Value::Type::Array: break;
    }
    argError(relOp(r), {a, b});
}

// Arithmetic on numbers, with the width and decimals the runtime gives its results: a sum or
// difference keeps the larger decimals, a product the sum of them, a quotient or remainder the
// standard decimals when it is not whole.
Number arith(char op, Number a, Number b) {
    double r = 0;
    int dec = -1;
    switch (op) {
        case '+':
            r = a.value + b.value;
            dec = std::max(a.decimals, b.decimals);
            break;
        case '-':
            r = a.value - b.value;
            dec = std::max(a.decimals, b.decimals);
            break;
        case '*':
            r = a.value * b.value;
            dec = std::min(a.decimals + b.decimals, 15);
            break;
        case '/':
            if (b.value == 0) return zeroDivisor(kDiv, a, b);
            r = a.value / b.value;
            break;
        case '%':
            if (b.value == 0) return zeroDivisor(kMod, a, b);
            r = std::fmod(a.value, b.value);
            break;
    }
    Value v = Value::number(r, dec);
    return v.numberInfo();
}

// The text of a - b: a without its trailing blanks, then b, then those blanks.
void moveBlanks(std::string& out, size_t leftStart, size_t leftEnd) {
    size_t k = leftEnd;
    while (k > leftStart && out[k - 1] == ' ') --k;
    size_t blanks = leftEnd - k;
    if (!blanks) return;
    out.erase(k, blanks);
    out.append(blanks, ' ');
}

void appendDtos(std::string& out, Date d) {
    size_t pos = out.size();
    out.resize(pos + 8, ' ');
    if (d.jd <= 0) return;
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    char* p = &out[pos];
    for (int i = 3; i >= 0; --i, y /= 10) p[i] = char('0' + y % 10);
    p[4] = char('0' + m / 10);
    p[5] = char('0' + m % 10);
    p[6] = char('0' + dd / 10);
    p[7] = char('0' + dd % 10);
}

void appendStr(std::string& out, double v, int width, int decimals) {
    if (width <= 0) return;
    width = std::min(width, 0xFFFF);
    size_t pos = out.size();
    out.resize(pos + size_t(width));
    strInto(v, width, decimals, &out[pos]);
}

// The number at the start of a text, with as many decimals as it was written with.
Number valNumber(std::string_view s) {
    double v = val(s);
    int dec = 0;
    size_t i = s.find_first_not_of(" \t");
    if (i != s.npos && (s[i] == '-' || s[i] == '+')) {
        ++i;
        while (i < s.size() && s[i] == ' ') ++i;
    }
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++dec;
    Value n = Value::number(v, dec);
    return n.numberInfo();
}

// ---------------------------------------------------------------------------------------------
// Literals and fields

class TextLit : public Node {
public:
    explicit TextLit(std::string s) : Node(K::Text), s_(std::move(s)) {}
    void text(Ctx&, std::string& out) const override { out += s_; }

private:
    std::string s_;
};

class NumLit : public Node {
public:
    explicit NumLit(Number n) : Node(K::Num), n_(n) {}
    Number num(Ctx&) const override { return n_; }

private:
    Number n_;
};

class DateLit : public Node {
public:
    explicit DateLit(Date d) : Node(K::Date), d_(d) {}
    Date date(Ctx&) const override { return d_; }

private:
    Date d_;
};

class LogLit : public Node {
public:
    explicit LogLit(bool b) : Node(K::Log), b_(b) {}
    bool logical(Ctx&) const override { return b_; }

private:
    bool b_;
};

class FieldNode : public Node {
public:
    FieldNode(int idx, const ExprField& f)
        : Node(kindOf(f.type)), idx_(idx), type_(f.type), off_(f.offset), len_(f.len),
          dec_(f.dec) {}

    static K kindOf(char type) {
        switch (type) {
            case 'C':
            case 'M': return K::Text;
            case 'N':
            case 'F': return K::Num;
            case 'D': return K::Date;
            case 'L': return K::Log;
        }
        return K::Any;
    }

    void text(Ctx& c, std::string& out) const override {
        const char* r = type_ == 'M' ? nullptr : c.record(idx_);
        if (r)
            out.append(r + off_, len_);
        else
            out += c.fieldValue(idx_).text();
    }
    Number num(Ctx& c) const override {
        if (const char* r = c.record(idx_))
            return Number{val(std::string_view(r + off_, len_)), int16_t(len_), int16_t(dec_)};
        Value v = c.fieldValue(idx_);
        return v.isNumber() ? v.numberInfo() : Number{0, int16_t(len_), int16_t(dec_)};
    }
    Date date(Ctx& c) const override {
        if (const char* r = c.record(idx_)) return stod(std::string_view(r + off_, len_));
        return c.fieldValue(idx_).date();
    }
    bool logical(Ctx& c) const override {
        if (const char* r = c.record(idx_)) {
            char b = len_ ? r[off_] : ' ';
            return b == 'T' || b == 't' || b == 'Y' || b == 'y';
        }
        return c.fieldValue(idx_).logical();
    }
    Value value(Ctx& c) const override {
        return kind == K::Any ? c.fieldValue(idx_) : Node::value(c);
    }

private:
    int idx_;
    char type_;
    uint32_t off_;
    uint16_t len_;
    uint8_t dec_;
};

// ---------------------------------------------------------------------------------------------
// Operators

// Text + text and text - text.
class Concat : public Node {
public:
    Concat(NodePtr a, NodePtr b, bool move)
        : Node(K::Text), a_(std::move(a)), b_(std::move(b)), move_(move) {}
    void text(Ctx& c, std::string& out) const override {
        const Op& op = move_ ? kMinus : kPlus;
        size_t start = out.size();
        getText(*a_, c, out, op);
        size_t end = out.size();
        getText(*b_, c, out, op);
        if (move_) moveBlanks(out, start, end);
    }

private:
    NodePtr a_, b_;
    bool move_;
};

// + - * / % on numbers.
class Arith : public Node {
public:
    Arith(char op, NodePtr a, NodePtr b)
        : Node(K::Num), op_(op), a_(std::move(a)), b_(std::move(b)) {}
    Number num(Ctx& c) const override {
        const Op& op = opOf(op_);
        Number x = getNum(*a_, c, op);
        Number y = getNum(*b_, c, op);
        return arith(op_, x, y);
    }
    static const Op& opOf(char op) {
        switch (op) {
            case '+': return kPlus;
            case '-': return kMinus;
            case '*': return kMul;
            case '/': return kDiv;
        }
        return kMod;
    }

private:
    char op_;
    NodePtr a_, b_;
};

// date + days, days + date, date - days.
class DateShift : public Node {
public:
    DateShift(char op, NodePtr a, NodePtr b, bool dateFirst)
        : Node(K::Date), op_(op), a_(std::move(a)), b_(std::move(b)), dateFirst_(dateFirst) {}
    Date date(Ctx& c) const override {
        const Op& op = op_ == '+' ? kPlus : kMinus;
        Date d;
        double n;
        if (dateFirst_) {
            d = getDate(*a_, c, op);
            n = getNum(*b_, c, op).value;
        } else {
            n = getNum(*a_, c, op).value;
            d = getDate(*b_, c, op);
        }
        return Date{int32_t(d.jd + (op_ == '+' ? n : -n))};
    }

private:
    char op_;
    NodePtr a_, b_;
    bool dateFirst_;
};

// date - date: the days between.
class DateDiff : public Node {
public:
    DateDiff(NodePtr a, NodePtr b) : Node(K::Num), a_(std::move(a)), b_(std::move(b)) {}
    Number num(Ctx& c) const override {
        Date x = getDate(*a_, c, kMinus);
        Date y = getDate(*b_, c, kMinus);
        Value v = Value::number(double(x.jd) - double(y.jd));
        return v.numberInfo();
    }

private:
    NodePtr a_, b_;
};

// + and - when the operand types are only known from the data.
class PlusMinus : public Node {
public:
    PlusMinus(char op, NodePtr a, NodePtr b)
        : Node(K::Any), op_(op), a_(std::move(a)), b_(std::move(b)) {}
    Value value(Ctx& c) const override {
        Value x = a_->value(c);
        Value y = b_->value(c);
        using T = Value::Type;
        if (x.isText() && y.isText()) {
            std::string s = x.text();
            s += y.text();
            if (op_ == '-') moveBlanks(s, 0, x.text().size());
            return Value(std::move(s));
        }
        if (x.isNumber() && y.isNumber()) return Value(arith(op_, x.numberInfo(), y.numberInfo()));
        if (x.type() == T::Date && y.isNumber())
            return Value(Date{int32_t(x.date().jd + (op_ == '+' ? y.num() : -y.num()))});
        if (op_ == '+' && x.isNumber() && y.isDate())
            return Value(Date{int32_t(y.date().jd + x.num())});
        if (op_ == '-' && x.isDate() && y.isDate())
            return Value::number(double(x.date().jd) - double(y.date().jd));
        argError(op_ == '+' ? kPlus : kMinus, {x, y});
    }

private:
    char op_;
    NodePtr a_, b_;
};

class Negate : public Node {
public:
    Negate(NodePtr a, bool minus) : Node(K::Num), a_(std::move(a)), minus_(minus) {}
    Number num(Ctx& c) const override {
        Number n = getNum(*a_, c, minus_ ? kNeg : kPlus);
        if (minus_) n.value = -n.value;
        return n;
    }

private:
    NodePtr a_;
    bool minus_;
};

class Compare : public Node {
public:
    Compare(Rel r, NodePtr a, NodePtr b)
        : Node(K::Log), rel_(r), a_(std::move(a)), b_(std::move(b)) {}
    bool logical(Ctx& c) const override {
        if (a_->kind == K::Text && b_->kind == K::Text) {
            sa_.clear();
            a_->text(c, sa_);
            sb_.clear();
            b_->text(c, sb_);
            return compareTexts(rel_, sa_, sb_);
        }
        Value x = a_->value(c);
        Value y = b_->value(c);
        return compareValues(rel_, x, y);
    }

private:
    Rel rel_;
    NodePtr a_, b_;
    mutable std::string sa_, sb_;
};

// a $ b: a occurs in b.
class Contains : public Node {
public:
    Contains(NodePtr a, NodePtr b) : Node(K::Log), a_(std::move(a)), b_(std::move(b)) {}
    bool logical(Ctx& c) const override {
        sa_.clear();
        getText(*a_, c, sa_, kIn);
        sb_.clear();
        getText(*b_, c, sb_, kIn);
        return !sa_.empty() && sb_.find(sa_) != std::string::npos;
    }

private:
    NodePtr a_, b_;
    mutable std::string sa_, sb_;
};

class Not : public Node {
public:
    explicit Not(NodePtr a) : Node(K::Log), a_(std::move(a)) {}
    bool logical(Ctx& c) const override { return !getLog(*a_, c, kNot); }

private:
    NodePtr a_;
};

// .AND. and .OR.; the right operand is evaluated only when it decides.
class Logic : public Node {
public:
    Logic(bool isAnd, NodePtr a, NodePtr b)
        : Node(K::Log), and_(isAnd), a_(std::move(a)), b_(std::move(b)) {}
    bool logical(Ctx& c) const override {
        const Op& op = and_ ? kAnd : kOr;
        bool x = getLog(*a_, c, op);
        if (x != and_) return x;
        return getLog(*b_, c, op);
    }

private:
    bool and_;
    NodePtr a_, b_;
};

// ---------------------------------------------------------------------------------------------
// Functions

enum class Fn : uint8_t {
    Dtos, Dtoc, Ctod, Upper, Lower, Str, Val, Substr, Left, Right, Trim, Rtrim, Ltrim, Alltrim,
    Padr, Padl, Iif, Deleted, Recno, Date, Empty
};

// Argument letters: C text, N number, D date, L logical, X anything, P text/number/date.
struct FnInfo {
    const char* name;
    Fn fn;
    int minArgs;
    const char* args;
    K result;  // Any for IIF: settled by its branches
    int subCode;
};

const FnInfo kFunctions[] = {
    {"DTOS", Fn::Dtos, 1, "D", K::Text, 1120},    {"DTOC", Fn::Dtoc, 1, "D", K::Text, 0},
    {"CTOD", Fn::Ctod, 1, "C", K::Date, 0},       {"UPPER", Fn::Upper, 1, "C", K::Text, 1102},
    {"LOWER", Fn::Lower, 1, "C", K::Text, 1103},  {"STR", Fn::Str, 1, "NNN", K::Text, 1099},
    {"VAL", Fn::Val, 1, "C", K::Num, 1098},       {"SUBSTR", Fn::Substr, 2, "CNN", K::Text, 1110},
    {"LEFT", Fn::Left, 2, "CN", K::Text, 1124},   {"RIGHT", Fn::Right, 2, "CN", K::Text, 0},
    {"TRIM", Fn::Trim, 1, "C", K::Text, 1100},    {"RTRIM", Fn::Rtrim, 1, "C", K::Text, 1100},
    {"LTRIM", Fn::Ltrim, 1, "C", K::Text, 1101},  {"ALLTRIM", Fn::Alltrim, 1, "C", K::Text, 0},
    {"PADR", Fn::Padr, 2, "PNC", K::Text, 0},     {"PADL", Fn::Padl, 2, "PNC", K::Text, 0},
    {"IIF", Fn::Iif, 3, "LXX", K::Any, 1066},     {"DELETED", Fn::Deleted, 0, "", K::Log, 0},
    {"RECNO", Fn::Recno, 0, "", K::Num, 0},       {"DATE", Fn::Date, 0, "", K::Date, 0},
    {"EMPTY", Fn::Empty, 1, "X", K::Log, 0},
};

// A function by name in capitals: the whole name, or four letters or more of its beginning.
const FnInfo* findFunction(std::string_view name) {
    for (const FnInfo& f : kFunctions)
        if (name == f.name) return &f;
    if (name.size() < 4) return nullptr;
    for (const FnInfo& f : kFunctions)
        if (std::string_view(f.name).starts_with(name)) return &f;
    return nullptr;
}

class Call : public Node {
public:
    Call(const FnInfo& info, std::vector<NodePtr> args)
        : Node(info.result), info_(info), op_{info.name, info.subCode}, args_(std::move(args)) {}

    void text(Ctx& c, std::string& out) const override {
        size_t pos = out.size();
        switch (info_.fn) {
            case Fn::Dtos: return appendDtos(out, getDate(arg(0), c, op_));
            case Fn::Dtoc: out += dtoc(getDate(arg(0), c, op_)); return;
            case Fn::Upper:
                getText(arg(0), c, out, op_);
                for (size_t i = pos; i < out.size(); ++i) out[i] = upperCaseChar(out[i]);
                return;
            case Fn::Lower:
                getText(arg(0), c, out, op_);
                for (size_t i = pos; i < out.size(); ++i) out[i] = lowerCaseChar(out[i]);
                return;
            case Fn::Str: {
                Number n = getNum(arg(0), c, op_);
                int width = n.width, dec = n.decimals;
                if (args_.size() > 1) {
                    width = intArg(1, c);
                    dec = args_.size() > 2 ? intArg(2, c) : 0;
                }
                return appendStr(out, n.value, width, dec);
            }
            case Fn::Substr: {
                getText(arg(0), c, out, op_);
                long len = long(out.size() - pos);
                long start = intArg(1, c);
                long from = start > 0 ? start - 1 : (start < 0 ? std::max(0L, len + start) : 0);
                long count = args_.size() > 2 ? intArg(2, c) : len;
                return keep(out, pos, from, count);
            }
            case Fn::Left: {
                getText(arg(0), c, out, op_);
                return keep(out, pos, 0, intArg(1, c));
            }
            case Fn::Right: {
                getText(arg(0), c, out, op_);
                long len = long(out.size() - pos);
                long n = std::clamp(long(intArg(1, c)), 0L, len);
                return keep(out, pos, len - n, n);
            }
            case Fn::Trim:
            case Fn::Rtrim:
            case Fn::Ltrim:
            case Fn::Alltrim: {
                getText(arg(0), c, out, op_);
                if (info_.fn != Fn::Ltrim)
                    while (out.size() > pos && out.back() == ' ') out.pop_back();
                if (info_.fn == Fn::Ltrim || info_.fn == Fn::Alltrim) {
                    size_t i = pos;
                    while (i < out.size() && out[i] == ' ') ++i;
                    out.erase(pos, i - pos);
                }
                return;
            }
            case Fn::Padr:
            case Fn::Padl: return pad(c, out, pos);
            case Fn::Iif: return getText(branch(c), c, out, op_);
            default: return;
        }
    }

    Number num(Ctx& c) const override {
        switch (info_.fn) {
            case Fn::Val:
                scratch_.clear();
                getText(arg(0), c, scratch_, op_);
                return valNumber(scratch_);
            case Fn::Recno: {
                Value v = Value::number(double(c.recNo()));
                return v.numberInfo();
            }
            case Fn::Iif: return getNum(branch(c), c, op_);
            default: return {};
        }
    }

    Date date(Ctx& c) const override {
        switch (info_.fn) {
            case Fn::Ctod:
                scratch_.clear();
                getText(arg(0), c, scratch_, op_);
                return ctod(scratch_);
            case Fn::Date: return today();
            case Fn::Iif: return getDate(branch(c), c, op_);
            default: return {};
        }
    }

    bool logical(Ctx& c) const override {
        switch (info_.fn) {
            case Fn::Deleted: return c.deleted();
            case Fn::Empty: return empty(c);
            case Fn::Iif: return getLog(branch(c), c, op_);
            default: return false;
        }
    }

    Value value(Ctx& c) const override {
        if (kind == K::Any) return branch(c).value(c);  // IIF with branches of different types
        return Node::value(c);
    }

private:
    const Node& arg(size_t i) const { return *args_[i]; }

    int intArg(size_t i, Ctx& c) const {
        double d = getNum(arg(i), c, op_).value;
        if (!(d > -1e9)) return -1000000000;
        if (!(d < 1e9)) return 1000000000;
        return int(d);
    }

    const Node& branch(Ctx& c) const { return getLog(arg(0), c, op_) ? arg(1) : arg(2); }

    // Keeps count characters from position from of the text appended at pos.
    static void keep(std::string& out, size_t pos, long from, long count) {
        long len = long(out.size() - pos);
        if (from >= len || count <= 0) return out.resize(pos);
        count = std::min(count, len - from);
        out.resize(pos + size_t(from + count));
        out.erase(pos, size_t(from));
    }

    void pad(Ctx& c, std::string& out, size_t pos) const {
        const Node& a = arg(0);
        if (a.kind == K::Text) {
            a.text(c, out);
        } else {
            Value v = a.value(c);
            if (v.isText()) {
                out += v.text();
            } else if (v.isNumber()) {
                std::string s = v.toText();
                out.append(s, std::min(s.find_first_not_of(' '), s.size()));
            } else if (v.isDate()) {
                out += dtoc(v.date());
            } else {
                argError(op_, {v});
            }
        }
        long width = intArg(1, c);
        char fill = ' ';
        if (args_.size() > 2) {
            scratch_.clear();
            getText(arg(2), c, scratch_, op_);
            if (!scratch_.empty()) fill = scratch_[0];
        }
        long len = long(out.size() - pos);
        if (width <= 0) return out.resize(pos);
        width = std::min(width, 0xFFFFL);
        if (len >= width) return out.resize(pos + size_t(width));
        if (info_.fn == Fn::Padr)
            out.append(size_t(width - len), fill);
        else
            out.insert(pos, size_t(width - len), fill);
    }

    bool empty(Ctx& c) const {
        const Node& a = arg(0);
        switch (a.kind) {
            case K::Text:
                scratch_.clear();
                a.text(c, scratch_);
                return blankText(scratch_);
            case K::Num: return a.num(c).value == 0;
            case K::Date: return a.date(c).empty();
            case K::Log: return !a.logical(c);
            case K::Any: break;
        }
        return a.value(c).isEmpty();
    }

    const FnInfo& info_;
    Op op_;
    std::vector<NodePtr> args_;
    mutable std::string scratch_;
};

// ---------------------------------------------------------------------------------------------
// Compiling

struct CompileError {
    std::string message;
};

enum class Tok : uint8_t {
    End, Num, Str, DateLit, True, False, Ident, LParen, RParen, Comma, Arrow, Plus, Minus, Star,
    Slash, Percent, Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Dollar, And, Or, Not
};

struct Token {
    Tok t = Tok::End;
    size_t pos = 0;    // 0-based offset in the text
    std::string s;     // identifier in capitals, or the text of a literal
    Number n{};
    Date d{};
};

std::string upperAscii(std::string_view s) {
    std::string r(s);
    for (char& ch : r)
        if (ch >= 'a' && ch <= 'z') ch = char(ch - 0x20);
    return r;
}

bool identStart(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
}
bool identChar(char ch) { return identStart(ch) || (ch >= '0' && ch <= '9'); }
bool digit(char ch) { return ch >= '0' && ch <= '9'; }

[[noreturn]] void syntaxError(size_t pos) {
    throw CompileError{"Error de sintaxis en la posici\xF3n " + std::to_string(pos + 1)};
}

class Lexer {
public:
    explicit Lexer(std::string_view s) : s_(s) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        for (;;) {
            while (i_ < s_.size() && std::strchr(" \t\r\n", s_[i_]) && s_[i_]) ++i_;
            Token t;
            t.pos = i_;
            if (i_ >= s_.size()) {
                out.push_back(t);
                return out;
            }
            // A chain of operators nests as deep as it is long; keep it within the stack.
            if (out.size() >= 4000) throw CompileError{"Expresi\xF3n demasiado compleja"};
            next(t);
            out.push_back(std::move(t));
        }
    }

private:
    bool at(size_t k, char ch) const { return k < s_.size() && s_[k] == ch; }

    void next(Token& t) {
        char ch = s_[i_];
        if (digit(ch) || (ch == '.' && i_ + 1 < s_.size() && digit(s_[i_ + 1]))) return number(t);
        if (identStart(ch)) {
            size_t b = i_;
            while (i_ < s_.size() && identChar(s_[i_])) ++i_;
            t.t = Tok::Ident;
            t.s = upperAscii(s_.substr(b, i_ - b));
            return;
        }
        switch (ch) {
            case '"':
            case '\'':
            case '[': return text(t, ch == '[' ? ']' : ch);
            case '{': return dateLiteral(t);
            case '.': return dotted(t);
        }
        struct Sym {
            const char* text;
            Tok t;
        };
        static const Sym kSyms[] = {
            {"->", Tok::Arrow}, {"==", Tok::ExactEq}, {"!=", Tok::Ne}, {"<>", Tok::Ne},
            {"<=", Tok::Le},    {">=", Tok::Ge},      {"(", Tok::LParen}, {")", Tok::RParen},
            {",", Tok::Comma},  {"+", Tok::Plus},     {"-", Tok::Minus},  {"*", Tok::Star},
            {"/", Tok::Slash},  {"%", Tok::Percent},  {"=", Tok::Eq},     {"#", Tok::Ne},
            {"<", Tok::Lt},     {">", Tok::Gt},       {"$", Tok::Dollar}, {"!", Tok::Not},
        };
        for (const Sym& sym : kSyms) {
            if (s_.substr(i_).starts_with(sym.text)) {
                t.t = sym.t;
                i_ += std::strlen(sym.text);
                return;
            }
        }
        syntaxError(i_);
    }

    void number(Token& t) {
        size_t b = i_;
        while (i_ < s_.size() && digit(s_[i_])) ++i_;
        int dec = 0;
        if (at(i_, '.') && i_ + 1 < s_.size() && digit(s_[i_ + 1]))
            for (++i_; i_ < s_.size() && digit(s_[i_]); ++i_) ++dec;
        t.t = Tok::Num;
        Value v = Value::number(val(s_.substr(b, i_ - b)), dec);
        t.n = v.numberInfo();
    }

    void text(Token& t, char close) {
        size_t b = i_++;
        size_t e = s_.find(close, i_);
        if (e == s_.npos) syntaxError(b);
        t.t = Tok::Str;
        t.s = std::string(s_.substr(i_, e - i_));
        i_ = e + 1;
    }

    // {^YYYY-MM-DD} (also with / or . between the parts); {} and { } are the empty date.
    void dateLiteral(Token& t) {
        size_t b = i_++;
        auto skipBlanks = [&] {
            while (at(i_, ' ')) ++i_;
        };
        skipBlanks();
        t.t = Tok::DateLit;
        if (at(i_, '}')) {
            ++i_;
            return;
        }
        if (!at(i_, '^')) syntaxError(b);
        ++i_;
        int parts[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            if (k && !(at(i_, '-') || at(i_, '/') || at(i_, '.'))) syntaxError(b);
            if (k) ++i_;
            size_t d0 = i_;
            while (i_ < s_.size() && digit(s_[i_]) && i_ - d0 < 4)
                parts[k] = parts[k] * 10 + (s_[i_++] - '0');
            if (i_ == d0) syntaxError(b);
        }
        skipBlanks();
        if (!at(i_, '}')) syntaxError(b);
        ++i_;
        t.d = dateFromYmd(parts[0], parts[1], parts[2]);
        if (t.d.empty())
            throw CompileError{"Fecha no v\xE1lida en la posici\xF3n " + std::to_string(b + 1)};
    }

    // .T. .F. .Y. .N. .AND. .OR. .NOT.
    void dotted(Token& t) {
        size_t e = i_ + 1;
        while (e < s_.size() && identStart(s_[e])) ++e;
        if (!at(e, '.')) syntaxError(i_);
        std::string w = upperAscii(s_.substr(i_ + 1, e - i_ - 1));
        if (w == "T" || w == "Y")
            t.t = Tok::True;
        else if (w == "F" || w == "N")
            t.t = Tok::False;
        else if (w == "AND")
            t.t = Tok::And;
        else if (w == "OR")
            t.t = Tok::Or;
        else if (w == "NOT")
            t.t = Tok::Not;
        else
            syntaxError(i_);
        i_ = e + 1;
    }

    std::string_view s_;
    size_t i_ = 0;
};

class Parser {
public:
    Parser(std::string_view text, const ExprContext& schema)
        : toks_(Lexer(text).run()), schema_(schema) {}

    NodePtr parse() {
        NodePtr n = parseOr();
        if (peek().t != Tok::End) syntaxError(peek().pos);
        return n;
    }

private:
    const Token& peek() const { return toks_[k_]; }
    const Token& take() { return toks_[k_ < toks_.size() - 1 ? k_++ : k_]; }
    bool accept(Tok t) {
        if (peek().t != t) return false;
        take();
        return true;
    }
    void expect(Tok t) {
        if (!accept(t)) syntaxError(peek().pos);
    }

    // Nesting beyond this is refused rather than risking the stack.
    struct Depth {
        explicit Depth(Parser& p) : p(p) {
            if (++p.depth_ > 200) throw CompileError{"Expresi\xF3n demasiado compleja"};
        }
        ~Depth() { --p.depth_; }
        Parser& p;
    };

    static bool failsAs(const NodePtr& n, K want) { return n->fails || wrongKind(n->kind, want); }

    NodePtr parseOr() {
        Depth guard(*this);
        NodePtr a = parseAnd();
        while (accept(Tok::Or)) a = logic(false, std::move(a), parseAnd());
        return a;
    }

    NodePtr parseAnd() {
        NodePtr a = parseRel();
        while (accept(Tok::And)) a = logic(true, std::move(a), parseRel());
        return a;
    }

    NodePtr logic(bool isAnd, NodePtr a, NodePtr b) {
        bool fails = failsAs(a, K::Log);
        auto n = std::make_unique<Logic>(isAnd, std::move(a), std::move(b));
        n->fails = fails;
        return n;
    }

    NodePtr parseRel() {
        NodePtr a = parseAdd();
        for (;;) {
            Tok t = peek().t;
            Rel r;
            switch (t) {
                case Tok::Eq: r = Rel::Eq; break;
                case Tok::ExactEq: r = Rel::ExactEq; break;
                case Tok::Ne: r = Rel::Ne; break;
                case Tok::Lt: r = Rel::Lt; break;
                case Tok::Le: r = Rel::Le; break;
                case Tok::Gt: r = Rel::Gt; break;
                case Tok::Ge: r = Rel::Ge; break;
                case Tok::Dollar: {
                    take();
                    NodePtr b = parseAdd();
                    bool fails = failsAs(a, K::Text) || failsAs(b, K::Text);
                    a = std::make_unique<Contains>(std::move(a), std::move(b));
                    a->fails = fails;
                    continue;
                }
                default: return a;
            }
            take();
            NodePtr b = parseAdd();
            bool fails = a->fails || b->fails ||
                         (a->kind != K::Any && b->kind != K::Any && a->kind != b->kind);
            a = std::make_unique<Compare>(r, std::move(a), std::move(b));
            a->fails = fails;
        }
    }

    NodePtr parseAdd() {
        NodePtr a = parseMul();
        for (;;) {
            char op;
            if (accept(Tok::Plus))
                op = '+';
            else if (accept(Tok::Minus))
                op = '-';
            else
                return a;
            a = plusMinus(op, std::move(a), parseMul());
        }
    }

    static NodePtr plusMinus(char op, NodePtr a, NodePtr b) {
        bool fails = a->fails || b->fails;
        K x = a->kind, y = b->kind;
        NodePtr n;
        if (x == K::Text && y == K::Text)
            n = std::make_unique<Concat>(std::move(a), std::move(b), op == '-');
        else if (x == K::Num && y == K::Num)
            n = std::make_unique<Arith>(op, std::move(a), std::move(b));
        else if (x == K::Date && y == K::Num)
            n = std::make_unique<DateShift>(op, std::move(a), std::move(b), true);
        else if (op == '+' && x == K::Num && y == K::Date)
            n = std::make_unique<DateShift>(op, std::move(a), std::move(b), false);
        else if (op == '-' && x == K::Date && y == K::Date)
            n = std::make_unique<DateDiff>(std::move(a), std::move(b));
        else {
            fails = fails || (x != K::Any && y != K::Any);
            n = std::make_unique<PlusMinus>(op, std::move(a), std::move(b));
        }
        n->fails = fails;
        return n;
    }

    NodePtr parseMul() {
        NodePtr a = parseUnary();
        for (;;) {
            char op;
            if (accept(Tok::Star))
                op = '*';
            else if (accept(Tok::Slash))
                op = '/';
            else if (accept(Tok::Percent))
                op = '%';
            else
                return a;
            NodePtr b = parseUnary();
            bool fails = failsAs(a, K::Num) || failsAs(b, K::Num);
            a = std::make_unique<Arith>(op, std::move(a), std::move(b));
            a->fails = fails;
        }
    }

    // .NOT. takes the whole comparison that follows it (.NOT. a = b is .NOT. (a = b)), also after
    // another operator (x = .NOT. a = b), and stops at the next .AND. or .OR.
    NodePtr parseUnary() {
        if (accept(Tok::Not)) {
            Depth guard(*this);
            NodePtr a = parseRel();
            bool fails = failsAs(a, K::Log);
            auto n = std::make_unique<Not>(std::move(a));
            n->fails = fails;
            return n;
        }
        bool minus = peek().t == Tok::Minus;
        if (minus || peek().t == Tok::Plus) {
            take();
            Depth guard(*this);
            NodePtr a = parseUnary();
            bool fails = failsAs(a, K::Num);
            auto n = std::make_unique<Negate>(std::move(a), minus);
            n->fails = fails;
            return n;
        }
        return parsePrimary();
    }

    NodePtr parsePrimary() {
        const Token& t = take();
        switch (t.t) {
            case Tok::Num: return std::make_unique<NumLit>(t.n);
            case Tok::Str: return std::make_unique<TextLit>(t.s);
            case Tok::DateLit: return std::make_unique<DateLit>(t.d);
            case Tok::True: return std::make_unique<LogLit>(true);
            case Tok::False: return std::make_unique<LogLit>(false);
            case Tok::LParen: {
                NodePtr n = parseOr();
                expect(Tok::RParen);
                return n;
            }
            case Tok::Ident: break;
            default: syntaxError(t.pos);
        }
        std::string name = t.s;
        if (accept(Tok::LParen)) return call(name);
        std::string alias;
        if (accept(Tok::Arrow)) {
            const Token& f = take();
            if (f.t != Tok::Ident) syntaxError(f.pos);
            alias = name == "FIELD" || name == "_FIELD" ? "" : name;
            name = f.s;
        }
        int idx = schema_.fieldIndex(alias, name);
        if (idx < 0) {
            std::string shown = alias.empty() ? name : alias + "->" + name;
            throw CompileError{"Campo desconocido: " + shown};
        }
        return std::make_unique<FieldNode>(idx, schema_.field(idx));
    }

    NodePtr call(const std::string& name) {
        const FnInfo* f = findFunction(name);
        if (!f) throw CompileError{"Funci\xF3n desconocida: " + name};
        std::vector<NodePtr> args;
        if (!accept(Tok::RParen)) {
            do args.push_back(parseOr());
            while (accept(Tok::Comma));
            expect(Tok::RParen);
        }
        int maxArgs = int(std::strlen(f->args));
        if (int(args.size()) < f->minArgs || int(args.size()) > maxArgs)
            throw CompileError{"N\xFAmero de argumentos incorrecto: " + std::string(f->name)};

        K result = f->result;
        bool fails = false;
        for (size_t i = 0; i < args.size(); ++i) {
            // The branches of IIF run only when chosen; everything else always runs.
            bool conditional = f->fn == Fn::Iif && i > 0;
            if (conditional) continue;
            const NodePtr& a = args[i];
            switch (f->args[i]) {
                case 'C': fails |= failsAs(a, K::Text); break;
                case 'N': fails |= failsAs(a, K::Num); break;
                case 'D': fails |= failsAs(a, K::Date); break;
                case 'L': fails |= failsAs(a, K::Log); break;
                case 'P':
                    fails |= a->fails || a->kind == K::Log;
                    break;
                default: fails |= a->fails; break;
            }
        }
        if (f->fn == Fn::Iif) {
            if (args[1]->kind == args[2]->kind) result = args[1]->kind;
            fails |= args[1]->fails && args[2]->fails;
        }
        auto n = std::make_unique<Call>(*f, std::move(args));
        n->kind = result;
        n->fails = fails;
        return n;
    }

    std::vector<Token> toks_;
    size_t k_ = 0;
    int depth_ = 0;
    const ExprContext& schema_;
};

// The table as it looks on the phantom record: every field blank.
class BlankRecord : public ExprContext {
public:
    explicit BlankRecord(const ExprContext& schema) : schema_(schema) {}
    int fieldIndex(std::string_view alias, std::string_view name) const override {
        return schema_.fieldIndex(alias, name);
    }
    const ExprField& field(int idx) const override { return schema_.field(idx); }
    const char* record(int) override { return nullptr; }
    Value fieldValue(int idx) override {
        const ExprField& f = schema_.field(idx);
        switch (f.type) {
            case 'C': return Value(std::string(f.len, ' '));
            case 'M': return Value(std::string());
            case 'N':
            case 'F': return Value::number(0, f.len, f.dec);
            case 'D': return Value(Date{});
            case 'L': return Value(false);
        }
        return Value();
    }
    bool deleted() override { return false; }
    uint32_t recNo() override { return 0; }

private:
    const ExprContext& schema_;
};

Value::Type typeOf(K k) {
    switch (k) {
        case K::Text: return Value::Type::Text;
        case K::Num: return Value::Type::Number;
        case K::Date: return Value::Type::Date;
        case K::Log: return Value::Type::Logical;
        case K::Any: break;
    }
    return Value::Type::Nil;
}

}  // namespace
}  // namespace exprimpl

using namespace exprimpl;

Expr::~Expr() = default;

std::unique_ptr<Expr> Expr::compile(std::string_view text, const ExprContext& schema,
                                    std::string* error) {
    std::unique_ptr<Expr> e(new Expr);
    try {
        e->root_ = Parser(text, schema).parse();
    } catch (const CompileError& ce) {
        if (error) *error = ce.message;
        return nullptr;
    }
    e->text_ = std::string(text);
    if (e->root_->fails) {
        e->type_ = Value::Type::Nil;
    } else if (e->root_->kind != K::Any) {
        e->type_ = typeOf(e->root_->kind);
    } else {
        // Only the data can tell: try it on a blank record, quietly.
        ScopedErrorHandler quiet([](const Error& err) {
            return err.genCode == gen::kZeroDiv ? ErrorChoice::Zero : ErrorChoice::Default;
        });
        BlankRecord blank(schema);
        e->type_ = e->eval(blank).type();
    }
    return e;
}

Value Expr::eval(ExprContext& ctx) const {
    try {
        return root_->value(ctx);
    } catch (const Abort&) {
        return Value();
    }
}

bool Expr::evalText(ExprContext& ctx, std::string& out) const {
    out.clear();
    try {
        if (root_->kind == K::Text) {
            root_->text(ctx, out);
            return true;
        }
        if (root_->kind != K::Any) return false;
        Value v = root_->value(ctx);
        if (!v.isText()) return false;
        out.assign(v.text());
        return true;
    } catch (const Abort&) {
        out.clear();
        return false;
    }
}

}  // namespace wv
