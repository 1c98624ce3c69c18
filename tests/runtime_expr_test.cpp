#include <gtest/gtest.h>

#include <cstring>

#include "runtime/date.h"
#include "runtime/error.h"
#include "runtime/expr.h"
#include "runtime/settings.h"
#include "tests/test_support.h"

namespace wv {
namespace {

// A table "ROLLOS" held in memory: its fields live in one record buffer, except the memo and the
// field of the related area "OTRO", which come through fieldValue.
class FakeTable : public ExprContext {
public:
    FakeTable() {
        add("SONO", 'C', 6, 0);
        add("SKIDNO", 'N', 4, 0);
        add("ROLLNO", 'N', 4, 0);
        add("NOMBRE", 'C', 10, 0);
        add("IMPORTE", 'N', 8, 2);
        add("TASA", 'N', 5, 3);
        add("FECHA", 'D', 8, 0);
        add("ACTIVO", 'L', 1, 0);
        add("NOTAS", 'M', 10, 0);
        rec.assign(size_t(width_), ' ');
        other_ = {"CODIGO", 'C', 0, 5, 0};
    }

    void set(const char* name, std::string_view bytes) {
        const ExprField& f = fields_[size_t(fieldIndex("", name))];
        std::string v(bytes);
        v.resize(f.len, ' ');
        rec.replace(f.offset, f.len, v);
    }

    int fieldIndex(std::string_view alias, std::string_view name) const override {
        if (alias == "OTRO") return name == "CODIGO" ? kOther : -1;
        if (!alias.empty() && alias != "ROLLOS") return -1;
        for (size_t i = 0; i < fields_.size(); ++i)
            if (fields_[i].name == name) return int(i);
        return -1;
    }
    const ExprField& field(int idx) const override {
        return idx == kOther ? other_ : fields_[size_t(idx)];
    }
    const char* record(int idx) override { return idx == kOther ? nullptr : rec.data(); }
    Value fieldValue(int idx) override {
        ++fieldValueCalls;
        if (idx == kOther) return Value(otherCode);
        return Value(memo);
    }
    bool deleted() override { return rec[0] == '*'; }
    uint32_t recNo() override { return recno; }

    std::string rec;
    std::string memo = "nota libre";
    std::string otherCode = "X-1  ";
    uint32_t recno = 7;
    int fieldValueCalls = 0;

private:
    static constexpr int kOther = 100;
    void add(const char* name, char type, uint16_t len, uint8_t dec) {
        fields_.push_back({name, type, uint32_t(width_), len, dec});
        width_ += len;
    }
    std::vector<ExprField> fields_;
    ExprField other_;
    int width_ = 1;
};

class ExprTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = settings();
        t.set("SONO", "A123");
        t.set("SKIDNO", "  12");
        t.set("ROLLNO", "   3");
        t.set("NOMBRE", "Garc\355a");  // CP1252, as in the files
        t.set("IMPORTE", "   15.50");
        t.set("TASA", "0.125");
        t.set("FECHA", "20080519");
        t.set("ACTIVO", "T");
    }
    void TearDown() override { settings() = saved_; }

    std::unique_ptr<Expr> compile(std::string_view text) {
        std::string err;
        auto e = Expr::compile(text, t, &err);
        EXPECT_TRUE(e) << text << ": " << err;
        return e;
    }
    Value eval(std::string_view text) {
        auto e = compile(text);
        return e ? e->eval(t) : Value();
    }
    std::string evalStr(std::string_view text) {
        Value v = eval(text);
        EXPECT_TRUE(v.isText()) << text;
        return v.text();
    }
    double evalNum(std::string_view text) {
        Value v = eval(text);
        EXPECT_TRUE(v.isNumber()) << text;
        return v.num();
    }
    bool evalBool(std::string_view text) {
        Value v = eval(text);
        EXPECT_TRUE(v.isLogical()) << text;
        return v.logical();
    }
    std::string compileError(std::string_view text) {
        std::string err;
        EXPECT_FALSE(Expr::compile(text, t, &err)) << text;
        return err;
    }

    FakeTable t;
    Settings saved_;
};

TEST_F(ExprTest, FieldsOfEveryType) {
    EXPECT_EQ(evalStr("sono"), "A123  ");
    EXPECT_EQ(evalStr("Rollos->Nombre"), "Garc\355a    ");
    EXPECT_EQ(evalStr("FIELD->SONO"), "A123  ");
    EXPECT_EQ(evalStr("notas"), "nota libre");
    EXPECT_EQ(evalStr("otro->codigo"), "X-1  ");

    Value n = eval("IMPORTE");
    EXPECT_DOUBLE_EQ(n.num(), 15.5);
    EXPECT_EQ(n.numberInfo().width, 8);
    EXPECT_EQ(n.numberInfo().decimals, 2);
    EXPECT_EQ(evalStr("STR(IMPORTE)"), "   15.50");  // keeps the field's width

    EXPECT_EQ(eval("FECHA").date(), dateFromYmd(2008, 5, 19));
    EXPECT_TRUE(evalBool("ACTIVO"));
    for (const char* yes : {"t", "Y", "y"}) {
        t.set("ACTIVO", yes);
        EXPECT_TRUE(evalBool("ACTIVO")) << yes;
    }
    t.set("ACTIVO", "F");
    EXPECT_FALSE(evalBool("ACTIVO"));

    // The blank record: numbers read 0, dates are empty, logicals false.
    t.rec.assign(t.rec.size(), ' ');
    EXPECT_EQ(evalNum("SKIDNO"), 0);
    EXPECT_TRUE(eval("FECHA").date().empty());
    EXPECT_FALSE(evalBool("ACTIVO"));
    EXPECT_EQ(evalStr("SONO"), "      ");
}

TEST_F(ExprTest, Literals) {
    EXPECT_EQ(evalStr("\"a'b\""), "a'b");
    EXPECT_EQ(evalStr("'a\"b'"), "a\"b");
    EXPECT_EQ(evalStr("[x\"y']"), "x\"y'");
    EXPECT_EQ(evalNum("123"), 123);
    EXPECT_EQ(evalNum("1.5"), 1.5);
    EXPECT_EQ(evalNum(".25"), 0.25);
    EXPECT_EQ(eval("{^2008-05-19}").date(), dateFromYmd(2008, 5, 19));
    EXPECT_TRUE(eval("{}").date().empty());
    EXPECT_TRUE(evalBool(".T."));
    EXPECT_TRUE(evalBool(".y."));
    EXPECT_FALSE(evalBool(".f."));
    EXPECT_FALSE(evalBool(".N."));
    EXPECT_EQ(eval("1.50").numberInfo().decimals, 2);
}

TEST_F(ExprTest, TextPlusAndMinus) {
    EXPECT_EQ(evalStr("SONO+NOMBRE"), "A123  Garc\355a    ");
    EXPECT_EQ(evalStr("SONO-NOMBRE"), "A123Garc\355a      ");
    EXPECT_EQ(evalStr("'ab  ' - 'cd ' - 'e'"), "abcde   ");
    EXPECT_EQ(evalStr("'   ' - 'x'"), "x   ");
    EXPECT_EQ(evalStr("'' - ''"), "");
}

TEST_F(ExprTest, NumbersAndTheirWidths) {
    EXPECT_EQ(evalNum("2+3*4"), 14);
    EXPECT_EQ(evalNum("(2+3)*4"), 20);
    EXPECT_EQ(evalNum("-2*3"), -6);
    EXPECT_EQ(evalNum("10-4-3"), 3);
    EXPECT_EQ(evalNum("7 % 4"), 3);
    EXPECT_EQ(evalNum("- -SKIDNO"), 12);
    EXPECT_EQ(evalNum("+SKIDNO"), 12);

    Value sum = eval("IMPORTE + TASA");  // larger decimals win
    EXPECT_DOUBLE_EQ(sum.num(), 15.625);
    EXPECT_EQ(sum.numberInfo().decimals, 3);
    EXPECT_EQ(eval("IMPORTE * TASA").numberInfo().decimals, 5);
    EXPECT_EQ(eval("SKIDNO + ROLLNO").numberInfo().decimals, 0);
    EXPECT_EQ(evalStr("STR(SKIDNO + ROLLNO)"), "        15");
    EXPECT_EQ(evalStr("STR(10/4)"), "         2.50");
    EXPECT_EQ(evalStr("STR(10/5)"), "         2");
    EXPECT_EQ(evalStr("STR(-SKIDNO)"), " -12");  // unary minus keeps the field's width
}

TEST_F(ExprTest, DateArithmetic) {
    EXPECT_EQ(eval("FECHA + 13").date(), dateFromYmd(2008, 6, 1));
    EXPECT_EQ(eval("13 + FECHA").date(), dateFromYmd(2008, 6, 1));
    EXPECT_EQ(eval("FECHA - 19").date(), dateFromYmd(2008, 4, 30));
    EXPECT_EQ(evalNum("FECHA - {^2008-01-01}"), 139);
    EXPECT_EQ(evalNum("{^2008-01-01} - FECHA"), -139);
}

TEST_F(ExprTest, Comparisons) {
    // = is "begins with" while == is exact.
    EXPECT_TRUE(evalBool("'ABC' = 'AB'"));
    EXPECT_FALSE(evalBool("'AB' = 'ABC'"));
    EXPECT_TRUE(evalBool("'ABC' = ''"));
    EXPECT_FALSE(evalBool("'' = 'A'"));
    EXPECT_FALSE(evalBool("'ABC' == 'AB'"));
    EXPECT_FALSE(evalBool("'AB ' == 'AB'"));
    EXPECT_TRUE(evalBool("SONO == 'A123  '"));
    EXPECT_TRUE(evalBool("SONO = 'A12'"));
    EXPECT_FALSE(evalBool("'ABC' != 'AB'"));
    EXPECT_TRUE(evalBool("'AB' <> 'ABC'"));
    EXPECT_TRUE(evalBool("'AB' # 'AC'"));
    EXPECT_TRUE(evalBool("'AB' < 'ABC'"));
    EXPECT_FALSE(evalBool("'ABC' > 'AB'"));
    EXPECT_TRUE(evalBool("'ABC' >= 'AB'"));
    EXPECT_TRUE(evalBool("'B' > 'A'"));
    EXPECT_TRUE(evalBool("'\xD1' > 'Z'"));  // byte order

    EXPECT_TRUE(evalBool("SKIDNO = 12"));
    EXPECT_TRUE(evalBool("SKIDNO == 12.0"));
    EXPECT_TRUE(evalBool("ROLLNO < SKIDNO"));
    EXPECT_TRUE(evalBool("ROLLNO <= 3"));
    EXPECT_FALSE(evalBool("ROLLNO > 3"));
    EXPECT_TRUE(evalBool("FECHA > {^2008-05-18}"));
    EXPECT_TRUE(evalBool("FECHA = CTOD('19/05/08')"));
    EXPECT_TRUE(evalBool(".F. < .T."));
    EXPECT_TRUE(evalBool("ACTIVO = .T."));

    EXPECT_TRUE(evalBool("'123' $ SONO"));
    EXPECT_FALSE(evalBool("'321' $ SONO"));
    EXPECT_FALSE(evalBool("'' $ SONO"));
}

TEST_F(ExprTest, LogicalOperatorsAndPrecedence) {
    EXPECT_FALSE(evalBool(".NOT. .T. .AND. .T."));
    EXPECT_TRUE(evalBool(".T. .OR. .F. .AND. .F."));
    EXPECT_FALSE(evalBool("(.T. .OR. .F.) .AND. .F."));
    EXPECT_TRUE(evalBool("!.F."));
    EXPECT_TRUE(evalBool(".not. SKIDNO = 13"));  // comparison first
    EXPECT_TRUE(evalBool(".T. = .NOT. SKIDNO = 13 .AND. .T."));  // also after an operator
    EXPECT_TRUE(evalBool("!ACTIVO .OR. SONO = 'A'"));
    EXPECT_TRUE(evalBool("1 + 1 = 2 .AND. 'A' + 'B' == 'AB'"));
    EXPECT_TRUE(evalBool("SKIDNO > 10 .and. ACTIVO .or. .f."));

    // The right operand runs only when it decides.
    test::ErrorRecorder rec;
    EXPECT_FALSE(evalBool(".F. .AND. 1/0 = 0"));
    EXPECT_TRUE(evalBool(".T. .OR. 'A' + 1"));
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(ExprTest, TextFunctions) {
    EXPECT_EQ(evalStr("UPPER(NOMBRE)"), "GARC\315A    ");
    EXPECT_EQ(evalStr("LOWER('\xC1\xD1O \x8A')"), "\xE1\xF1o \x9A");
    EXPECT_EQ(evalStr("TRIM(NOMBRE) + '|'"), "Garc\355a|");
    EXPECT_EQ(evalStr("RTRIM('  a  ') + '|'"), "  a|");
    EXPECT_EQ(evalStr("LTRIM('  a  ') + '|'"), "a  |");
    EXPECT_EQ(evalStr("ALLTRIM('  a b  ') + '|'"), "a b|");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', 2, 3)"), "bcd");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', 4)"), "def");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', -2)"), "ef");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', 0, 2)"), "ab");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', 7)"), "");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', 5, 9)"), "ef");
    EXPECT_EQ(evalStr("SUBSTR('abcdef', 2, -1)"), "");
    EXPECT_EQ(evalStr("LEFT(SONO, 2) + RIGHT(SONO, 3)"), "A13  ");
    EXPECT_EQ(evalStr("LEFT('ab', 5) + RIGHT('ab', 5) + LEFT('ab', -1)"), "abab");
    EXPECT_EQ(evalStr("PADR('ab', 4) + '|'"), "ab  |");
    EXPECT_EQ(evalStr("PADL('ab', 4, '0')"), "00ab");
    EXPECT_EQ(evalStr("PADL('abcdef', 3) + PADR('abcdef', 3)"), "abcabc");
    EXPECT_EQ(evalStr("PADL(SKIDNO, 6, '*')"), "****12");
    EXPECT_EQ(evalStr("PADR(IMPORTE, 7) + '|'"), "15.50  |");
    EXPECT_EQ(evalStr("PADR('x', 0)"), "");

    EXPECT_EQ(evalStr("STR(SKIDNO, 4)"), "  12");
    EXPECT_EQ(evalStr("STR(IMPORTE, 10, 2)"), "     15.50");
    EXPECT_EQ(evalStr("STR(IMPORTE, 5)"), "   16");  // two arguments: no decimals, rounded
    EXPECT_EQ(evalStr("STR(12345, 3)"), "***");
    EXPECT_EQ(evalStr("STR(7)"), "         7");
}

TEST_F(ExprTest, DateAndOtherFunctions) {
    EXPECT_EQ(evalStr("DTOS(FECHA)"), "20080519");
    EXPECT_EQ(evalStr("DTOS(CTOD(''))"), "        ");
    EXPECT_EQ(evalStr("DTOC(FECHA)"), "19/05/08");
    settings().century = true;
    EXPECT_EQ(evalStr("DTOC(FECHA)"), "19/05/2008");
    EXPECT_EQ(eval("CTOD('01/02/2003')").date(), dateFromYmd(2003, 2, 1));
    EXPECT_EQ(eval("DATE()").date(), today());

    Value v = eval("VAL(' 12.50xyz')");
    EXPECT_DOUBLE_EQ(v.num(), 12.5);
    EXPECT_EQ(v.numberInfo().decimals, 2);
    EXPECT_EQ(evalNum("VAL('abc')"), 0);
    EXPECT_EQ(evalNum("VAL('-3')"), -3);

    EXPECT_EQ(evalStr("IIF(ACTIVO, 'si', 'no')"), "si");
    EXPECT_EQ(evalNum("IIF(SKIDNO > 20, 1, 2)"), 2);
    EXPECT_EQ(evalNum("RECNO()"), 7);
    EXPECT_FALSE(evalBool("DELETED()"));
    t.rec[0] = '*';
    EXPECT_TRUE(evalBool("DELETED()"));

    EXPECT_FALSE(evalBool("EMPTY(SONO)"));
    EXPECT_TRUE(evalBool("EMPTY('  ')"));
    EXPECT_TRUE(evalBool("EMPTY(0) .AND. EMPTY(CTOD('')) .AND. EMPTY(.F.) .AND. EMPTY('')"));
    EXPECT_FALSE(evalBool("EMPTY(FECHA) .OR. EMPTY(SKIDNO) .OR. EMPTY(ACTIVO)"));
    EXPECT_TRUE(evalBool("EMPTY(IIF(.T., 0, 'x'))"));
}

TEST_F(ExprTest, NamesAndAbbreviations) {
    EXPECT_EQ(evalStr("subs(SONO, 2, 2)"), "12");
    EXPECT_EQ(evalStr("SUBST('abc', 2)"), "bc");
    EXPECT_EQ(evalStr("Allt('  x ')"), "x");
    EXPECT_EQ(evalStr("UPPE('a') + LOWE('B') + RTRI('c ') + LTRI(' d')"), "Abcd");
    EXPECT_TRUE(evalBool("DELE() = .F. .AND. EMPT('')"));
    EXPECT_EQ(evalNum("RECN()"), 7);
    EXPECT_EQ(compileError("SUB('abc', 2)"), "Funci\xF3n desconocida: SUB");
    EXPECT_EQ(compileError("SUBSTRX('abc', 2)"), "Funci\xF3n desconocida: SUBSTRX");
}

TEST_F(ExprTest, CompileErrors) {
    EXPECT_EQ(compileError("FOO(1)"), "Funci\xF3n desconocida: FOO");
    EXPECT_EQ(compileError("SONO + BAR"), "Campo desconocido: BAR");
    EXPECT_EQ(compileError("NADA->SONO"), "Campo desconocido: NADA->SONO");
    EXPECT_EQ(compileError("SONO + + )"), "Error de sintaxis en la posici\xF3n 10");
    EXPECT_EQ(compileError("(1 + 2"), "Error de sintaxis en la posici\xF3n 7");
    EXPECT_EQ(compileError("1 2"), "Error de sintaxis en la posici\xF3n 3");
    EXPECT_EQ(compileError("'abc"), "Error de sintaxis en la posici\xF3n 1");
    EXPECT_EQ(compileError("SONO .XOR. SONO"), "Error de sintaxis en la posici\xF3n 6");
    EXPECT_EQ(compileError(""), "Error de sintaxis en la posici\xF3n 1");
    EXPECT_EQ(compileError("SONO & 1"), "Error de sintaxis en la posici\xF3n 6");
    EXPECT_EQ(compileError("{^2008-02-30}"), "Fecha no v\xE1lida en la posici\xF3n 1");
    EXPECT_EQ(compileError("SUBSTR('a')"), "N\xFAmero de argumentos incorrecto: SUBSTR");
    EXPECT_EQ(compileError("STR(1, 2, 3, 4)"), "N\xFAmero de argumentos incorrecto: STR");
    EXPECT_EQ(compileError(std::string(500, '(') + "1" + std::string(500, ')')),
              "Expresi\xF3n demasiado compleja");
    EXPECT_FALSE(Expr::compile("FOO()", t, nullptr));
}

TEST_F(ExprTest, WrongTypesRaiseArgumentErrors) {
    test::ErrorRecorder rec;
    struct Case {
        const char* text;
        const char* op;
        int sub;
    } cases[] = {
        {"SONO + 1", "+", 1081},     {"FECHA - 'x'", "-", 1082}, {"SONO * 2", "*", 1083},
        {"-SONO", "-", 1080},        {"SONO = 1", "=", 1071},    {"1 == .T.", "==", 1070},
        {".NOT. SONO", ".NOT.", 1077}, {"SONO .AND. .T.", ".AND.", 1078},
        {"1 $ SONO", "$", 1109},     {"UPPER(SKIDNO)", "UPPER", 1102},
        {"SUBS(SONO, 'x')", "SUBSTR", 1110}, {"DTOS(SONO)", "DTOS", 1120},
        {"IIF(1, 2, 3)", "IIF", 1066}, {"PADR(.T., 2)", "PADR", 0},
    };
    for (const Case& c : cases) {
        rec.clear();
        auto e = compile(c.text);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->type(), Value::Type::Nil) << c.text;
        EXPECT_TRUE(e->eval(t).isNil()) << c.text;
        ASSERT_EQ(rec.errors.size(), 1u) << c.text;
        const Error& err = rec.errors[0];
        EXPECT_EQ(err.genCode, 1) << c.text;
        EXPECT_EQ(err.subSystem, "BASE");
        EXPECT_EQ(err.subCode, c.sub) << c.text;
        EXPECT_EQ(err.description, "Error de argumento");
        EXPECT_EQ(err.operation, c.op) << c.text;
    }

    // Found only when the data decide: the branch not taken never fails.
    rec.clear();
    auto e = compile("IIF(ACTIVO, 'x', 1) + 'y'");
    EXPECT_EQ(e->type(), Value::Type::Nil);  // the blank record takes the numeric branch
    EXPECT_EQ(e->eval(t).text(), "xy");
    EXPECT_TRUE(rec.errors.empty());
    t.set("ACTIVO", "F");
    std::string out = "old";
    EXPECT_FALSE(e->evalText(t, out));
    EXPECT_EQ(out, "");
    EXPECT_EQ(rec.last(), "1/1081");
    ASSERT_TRUE(rec.errors.back().args);
    EXPECT_EQ(rec.errors.back().args->size(), 2u);
}

TEST_F(ExprTest, DivisionByZero) {
    test::ErrorRecorder rec;  // answers Zero, as the standard handler does
    Value v = eval("SKIDNO / (ROLLNO - 3) + 1");
    EXPECT_EQ(v.num(), 1);
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0].genCode, gen::kZeroDiv);
    EXPECT_EQ(rec.errors[0].operation, "/");
    EXPECT_EQ(evalNum("5 % 0"), 0);
    EXPECT_EQ(rec.errors.back().operation, "%");

    ScopedErrorHandler deflt([](const Error&) { return ErrorChoice::Default; });
    EXPECT_TRUE(eval("1 / 0").isNil());
}

TEST_F(ExprTest, ResultTypes) {
    struct Case {
        const char* text;
        Value::Type type;
    } cases[] = {
        {"SONO + STR(SKIDNO, 4)", Value::Type::Text}, {"DTOS(FECHA)", Value::Type::Text},
        {"IMPORTE * 2", Value::Type::Number},          {"FECHA + 1", Value::Type::Date},
        {"SONO = 'A'", Value::Type::Logical},          {"NOTAS", Value::Type::Text},
        {"IIF(ACTIVO, 1, 2)", Value::Type::Number},    {"IIF(ACTIVO, 'a', 2)", Value::Type::Number},
        {"IIF(!ACTIVO, 'a', 2)", Value::Type::Text},   {"UPPER(1)", Value::Type::Nil},
    };
    for (const Case& c : cases) {
        auto e = compile(c.text);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->type(), c.type) << c.text;
        EXPECT_EQ(e->text(), c.text);
    }
}

TEST_F(ExprTest, IndexKeysByteExact) {
    auto e = compile("sono+STR(skidno,4)+STR(rollno,4)");
    std::string key;
    ASSERT_TRUE(e->evalText(t, key));
    EXPECT_EQ(key, "A123    12   3");
    EXPECT_EQ(e->eval(t).text(), key);

    t.set("SKIDNO", "-999");
    ASSERT_TRUE(e->evalText(t, key));
    EXPECT_EQ(key, "A123  -999   3");

    auto k2 = compile("UPPER(NOMBRE)+DTOS(FECHA)+STR(IMPORTE,10,2)");
    ASSERT_TRUE(k2->evalText(t, key));
    EXPECT_EQ(key, "GARC\315A    20080519     15.50");

    auto num = compile("IMPORTE");
    EXPECT_FALSE(num->evalText(t, key));  // not a character key
    EXPECT_EQ(key, "");
}

TEST_F(ExprTest, EvalTextReusesTheBuffer) {
    auto e = compile("SONO+NOMBRE+STR(SKIDNO,4)+DTOS(FECHA)");
    std::string out;
    ASSERT_TRUE(e->evalText(t, out));
    const char* data = out.data();
    size_t cap = out.capacity();
    const char* values[] = {"   1", "9999", "  -5", "    "};
    for (const char* v : values) {
        t.set("SKIDNO", v);
        t.set("NOMBRE", v);
        ASSERT_TRUE(e->evalText(t, out));
        EXPECT_EQ(out.size(), 28u);
        EXPECT_EQ(out.data(), data);
        EXPECT_EQ(out.capacity(), cap);
    }
    EXPECT_EQ(out, "A123" + std::string(12, ' ') + "   0" + "20080519");
    EXPECT_EQ(t.fieldValueCalls, 0);  // everything came from the record buffer
}

}  // namespace
}  // namespace wv
