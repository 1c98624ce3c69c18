#include "support/tarray.h"

#include <gtest/gtest.h>

#include "data/workarea.h"
#include "storage/dbf.h"
#include "tests/test_support.h"

namespace wv {
namespace {

// An invoice-line table: code C(5), quantity, taxable flag.
TArray lineTable() {
    TArray t;
    t.addField("cIdArtic", Value("     "));
    t.addField("nCant", Value::number(0));
    t.addField("lIva", Value(false));
    return t;
}

void addLine(TArray& t, std::string id, double n, bool iva = false) {
    id.resize(5, ' ');
    t.set("CIDARTIC", id);
    t.set("NCANT", Value::number(n));
    t.set("LIVA", iva);
    t.add();
}

TArray lines(const std::string& ids) {
    TArray t = lineTable();
    for (size_t i = 0; i < ids.size(); ++i) addLine(t, ids.substr(i, 1), double(i + 1), i % 2 == 0);
    return t;
}

// The first letter of every code, in row order (leaves the table at its end).
std::string codes(TArray& t) {
    std::string s;
    for (const Value& v : t.field2Array("CIDARTIC")) s += v.text().substr(0, 1);
    return s;
}

TEST(TArrayNavigation, EmptyTableAndTheEndsOfThreeRows) {
    TArray e = lineTable();
    e.set("CIDARTIC", "XY");
    e.goTop();
    EXPECT_TRUE(e.eof() && e.bof());
    EXPECT_EQ(e.get("CIDARTIC").text(), "  ");
    EXPECT_EQ(e.skip(), 0);

    TArray t = lines("ABC");
    t.goTo(3);
    EXPECT_EQ(t.skip(1), 0);
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recNo(), 3);
    EXPECT_EQ(t.get("CIDARTIC").text(), "C    ");
    EXPECT_EQ(t.skip(-5), -2);
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_FALSE(t.eof() || t.bof());
    EXPECT_EQ(t.skip(-1), 0);
    EXPECT_TRUE(t.bof());
    EXPECT_FALSE(t.eof());

    std::string seen;
    for (t.goTop(); !t.eof(); t.skip()) seen += t.get("CIDARTIC").text().substr(0, 1);
    for (t.goBottom(); !t.bof(); t.skip(-1)) seen += t.get("CIDARTIC").text().substr(0, 1);
    EXPECT_EQ(seen, "ABCCBA");
}

TEST(TArrayNavigation, PastTheEndNothingIsWritten) {
    TArray t = lines("ABC");
    t.goTo(0);
    EXPECT_EQ(t.recNo(), 4);
    EXPECT_TRUE(t.eof());
    EXPECT_FALSE(t.bof());
    EXPECT_EQ(t.get("CIDARTIC").text(), "     ");
    t.set("CIDARTIC", "ZZ");
    EXPECT_FALSE(t.save());
    EXPECT_FALSE(t.deleteRow());
    EXPECT_TRUE(t.fieldPut(1, Value("ZZ")).isNil());
    EXPECT_EQ(codes(t), "ABC");
    t.goTo(0);
    EXPECT_EQ(t.skip(-1), -1);  // from past the end, back onto row 2
    EXPECT_EQ(t.recNo(), 2);
}

TEST(TArrayRows, AddAppendInsertDelete) {
    TArray t = lineTable();
    t.set("CIDARTIC", "K");
    t.set("NCANT", Value::number(4));
    ASSERT_TRUE(t.add());
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.fieldGet(1).text(), "K");
    EXPECT_EQ(t.fieldGet(2).num(), 4);

    ASSERT_TRUE(t.append());
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_EQ(t.get("CIDARTIC").text(), " ");  // blanks of the buffer value's length
    EXPECT_TRUE(t.get("NCANT").isNumber() && t.get("NCANT").num() == 0);
    EXPECT_TRUE(t.get("LIVA").isLogical() && !t.get("LIVA").logical());

    t.set("CIDARTIC", "F");
    t.add(1);
    EXPECT_EQ(t.recNo(), 1);
    t.set("CIDARTIC", "L");
    t.add(50);  // beyond the end: before the last row
    EXPECT_EQ(t.recNo(), 3);
    EXPECT_EQ(codes(t), "FKL ");

    t.goTo(4);
    ASSERT_TRUE(t.deleteRow());
    EXPECT_EQ(t.recNo(), 3);
    EXPECT_EQ(t.get("CIDARTIC").text(), "L");
    EXPECT_FALSE(t.deleteRow(9));  // no such row: nothing removed
    ASSERT_TRUE(t.deleteRow(1));
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.get("CIDARTIC").text(), "K");
    t.deleteRow();
    t.deleteRow();
    EXPECT_EQ(t.recNo(), 0);
    EXPECT_EQ(t.lastRec(), 0);
    EXPECT_EQ(t.get("NCANT").num(), 0);

    // A default wins over the empty value of the type.
    TArray d;
    d.addField("NIVA", Value(), Value::number(16));
    EXPECT_EQ(d.get("NIVA").num(), 16);
    d.set("NIVA", Value::number(3));
    d.append();
    EXPECT_EQ(d.get("NIVA").num(), 16);
}

TEST(TArrayRows, BufferIsACopyAndShortRowsAreLengthened) {
    TArray t;
    t.addField("ALISTA", Value(Array{Value::number(1)}));
    t.addField("NVAL", Value::number(1));
    t.add();
    t.set("NVAL", Value::number(9));
    t.get("ALISTA").array()[0] = Value::number(5);
    EXPECT_EQ(t.fieldGet(1).array()[0].num(), 1);
    EXPECT_EQ(t.fieldGet(2).num(), 1);
    t.fieldPut(2, Value::number(7));  // the stored row, not the buffer
    EXPECT_EQ(t.get("NVAL").num(), 9);
    TArray c = t;  // a copy shares no list
    c.aDatos[0][0].array()[0] = Value::number(8);
    EXPECT_EQ(t.fieldGet(1).array()[0].num(), 1);

    // Fields added after rows were stored.
    t.addField("B", Value::number(3), Value::number(8));
    t.addField("C", Value("xyz"));
    EXPECT_EQ(t.fieldGet(3).num(), 8);
    t.goTop();
    EXPECT_EQ(t.get("C").text(), "   ");
    EXPECT_EQ(t.aDatos[0].size(), 4u);
}

TEST(TArraySort, EqualKeysRangesAndDirection) {
    TArray t = lineTable();
    addLine(t, "D", 2);
    addLine(t, "A", 1);
    addLine(t, "C", 2);
    addLine(t, "B", 3);
    t.goTo(3);  // C, quantity 2
    ASSERT_TRUE(t.sort("NCANT"));
    EXPECT_EQ(t.recNo(), 2);  // the first of the two rows with quantity 2
    EXPECT_EQ(t.fieldGet(2).num(), 2);
    EXPECT_EQ(t.get("CIDARTIC").text(), "C    ");  // the buffer is not reloaded

    t.goTo(1);  // A
    ASSERT_TRUE(t.sort(1, false));
    EXPECT_EQ(t.recNo(), 4);
    EXPECT_EQ(codes(t), "DCBA");
    ASSERT_TRUE(t.sort(1, true, 2, 2));
    EXPECT_EQ(codes(t), "DBCA");
    ASSERT_TRUE(t.sort(1, true, 3));
    EXPECT_EQ(codes(t), "DBAC");
    EXPECT_FALSE(t.sort("NOPE"));
}

TEST(TArraySeek, ExactPrefixFilterAndFailure) {
    TArray t = lineTable();
    addLine(t, " ABX", 1);
    addLine(t, "AB", 2);
    addLine(t, "ABC", 3);
    EXPECT_TRUE(t.seek("AB", 1));
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_TRUE(t.seek("AB", "CIDARTIC", true));
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.get("NCANT").num(), 1);
    EXPECT_TRUE(t.seek("AB", 1, true));
    EXPECT_EQ(t.recNo(), 1);  // from row 1 again, not from the current row

    t.setFilter([](TArray& a) { return a.get("NCANT").num() > 1; });
    EXPECT_TRUE(t.seek("AB", 1, true));
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_FALSE(t.seek("ZZ", 1));
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recNo(), 4);
    EXPECT_EQ(t.get("CIDARTIC").text(), "     ");
    EXPECT_FALSE(t.seek("1", 2));  // numbers never match
}

TEST(TArrayFilter, NavigationThroughTheFilter) {
    TArray t = lines("123456");
    t.setFilter([](TArray& a) { return int(a.get("NCANT").num()) % 2 == 0; });
    t.goTop();
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_EQ(t.skip(2), 2);
    EXPECT_EQ(t.recNo(), 6);
    EXPECT_EQ(t.skip(1), 0);
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.skip(-5), -2);
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_EQ(t.skip(-1), 0);
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_TRUE(t.bSetFilter);  // put back after working without it

    t.setFilter([](TArray& a) { return a.get("NCANT").num() < 5; });
    t.goBottom();
    EXPECT_EQ(t.recNo(), 4);

    // No row passes: the table looks empty, and a loop processes nothing.
    t.setFilter([](TArray&) { return false; });
    int visited = 0;
    for (t.goTop(); !t.eof(); t.skip()) ++visited;
    EXPECT_EQ(visited, 0);
    t.goBottom();
    EXPECT_TRUE(t.bof() && t.eof());
}

TEST(TArrayEval, ConditionsCountsRowsAndField2Array) {
    TArray t = lines("12345");  // quantities 1..5, taxable when odd
    double sum = 0;
    auto add = [&](TArray& a) { sum += a.get("NCANT").num(); };
    auto total = [&](auto&&... args) {
        sum = 0;
        t.dbEval(add, args...);
        return sum;
    };
    EXPECT_EQ(total(), 15);
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recNo(), 5);
    EXPECT_EQ(total([](TArray& a) { return a.get("LIVA").logical(); }), 9);
    EXPECT_EQ(total(TArray::Condition{}, [](TArray& a) { return a.get("NCANT").num() < 3; }), 3);
    t.goTo(2);
    EXPECT_EQ(total(TArray::Condition{}, TArray::Condition{}, 2L), 5);  // from the current row
    EXPECT_EQ(total(TArray::Condition{}, TArray::Condition{}, 2L, std::nullopt, true), 3);
    EXPECT_EQ(total(TArray::Condition{}, TArray::Condition{}, std::nullopt, 4L), 4);
    EXPECT_EQ(t.recNo(), 4);

    t.setFilter([](TArray& a) { return a.get("NCANT").num() > 2; });
    Array both = t.field2Array(std::vector<std::string>{"LIVA", "NCANT", "NOPE"});
    ASSERT_EQ(both.size(), 3u);
    ASSERT_EQ(both[1].array().size(), 3u);
    EXPECT_EQ(both[1].array()[0].num(), 3);
    EXPECT_TRUE(both[0].array()[2].logical());
    EXPECT_TRUE(both[2].array().empty());
    EXPECT_TRUE(t.eof());
}

TEST(TArrayByName, NineCharacterRuleAndMissingFields) {
    test::ErrorRecorder rec;
    TArray t;
    t.addField("nRegistro", Value::number(1));
    t.addField("nRegistros", Value::number(2));
    t.addField("cNombre", Value("ab"));
    EXPECT_EQ(t.set("nRegistro", Value::number(5)).num(), 5);
    EXPECT_EQ(t.get("NREGISTRO").num(), 5);
    EXPECT_EQ(t.get("nregistros").num(), 2);
    EXPECT_TRUE(rec.errors.empty());

    EXPECT_TRUE(t.set("NREGISTROS", Value::number(9)).isNil());
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0].description, "CLASE TArray Campo NREGISTROS Inexistente.");
    EXPECT_EQ(rec.errors[0].subSystem, "TArray");
    EXPECT_EQ(rec.errors[0].subCode, tarrayerr::kAssign);
    EXPECT_EQ(t.get("NREGISTROS").num(), 2);

    EXPECT_TRUE(t.get("CNOM").isNil());  // reads need the whole name
    ASSERT_EQ(rec.errors.size(), 2u);
    EXPECT_EQ(rec.errors[1].description, "CLASE TArray Campo CNOM Inexistente.");
    EXPECT_EQ(rec.errors[1].subCode, tarrayerr::kRead);

    // fieldPos is non-exact and compares in capitals (code page 1252 letters too).
    t.addField("a\xF1o", Value::number(0));
    EXPECT_EQ(t.fieldPos(" nregistro "), 1);
    EXPECT_EQ(t.fieldPos("A\xD1O"), 4);
    EXPECT_EQ(t.fieldPos("CNOMBREX"), 0);
    EXPECT_FALSE(t.isField("  "));

    // Names put in directly are brought to capitals at the next by-name access.
    TArray m;
    m.aFields = {"cCodigo"};
    m.aBuffer = {FieldValue(Value("x"))};
    EXPECT_EQ(m.get("CCODIGO").text(), "x");
    EXPECT_EQ(m.aFields[0], "CCODIGO");
}

TEST(TArrayFields, SortFieldsKeepsValuesWithTheirFields) {
    TArray t;
    t.addField("C", Value("c"), Value("dc"));
    t.addField("A", Value::number(1));
    t.addField("B", Value(true));
    t.add();
    t.set("C", "z");
    t.set("A", Value::number(2));
    t.add();
    t.setFilter([](TArray& a) { return a.get("A").num() == 2; });  // must not matter
    ASSERT_TRUE(t.sortFields());
    EXPECT_EQ(t.aFields, (std::vector<std::string>{"A", "B", "C"}));
    t.setFilter();
    t.goTop();
    EXPECT_EQ(t.get("A").num(), 1);
    EXPECT_EQ(t.get("C").text(), "c");
    EXPECT_EQ(t.aDefault[2].text(), "dc");
    t.sortFields(true);
    t.goBottom();
    EXPECT_EQ(t.aFields[0], "C");
    EXPECT_EQ(t.fieldGet(1).text(), "z");
}

TEST(TArrayNested, DeclaredTablesRowsSortAndResize) {
    auto outer = structNew();
    structField("aTasas", Value(Array{Value::number(16)}));
    structField("Detalle");
    auto inner = structNew();
    structField("Z", Value::number(0));
    structField("Y", Value("  "));
    EXPECT_EQ(structEnd(), inner);
    EXPECT_EQ(structEnd(), outer);
    EXPECT_EQ(structEnd(), nullptr);
    EXPECT_EQ(outer->table("DETALLE"), inner);

    // Each new row gets its own empty detail table.
    outer->append();
    auto d1 = outer->table("DETALLE");
    ASSERT_TRUE(d1);
    EXPECT_NE(d1, inner);
    d1->set("Z", Value::number(7));
    d1->add();
    outer->append();
    EXPECT_EQ(outer->table("DETALLE")->lastRec(), 0);
    outer->goTo(1);
    EXPECT_EQ(outer->table("DETALLE"), d1);
    // Adding from a loaded row copies its detail instead of sharing it.
    outer->add();
    EXPECT_NE(outer->table("DETALLE"), d1);
    EXPECT_EQ(outer->table("DETALLE")->lastRec(), 1);

    outer->dbSortField("DETALLE");
    EXPECT_EQ(d1->aFields, (std::vector<std::string>{"Y", "Z"}));
    EXPECT_EQ(d1->fieldGet(2).num(), 7);

    // Row 1 is the template: detail fields Y Z W, lists of two.
    d1->addField("W", Value("ww"), Value("dw"));
    outer->goTo(1);
    outer->set("ATASAS", Value(Array{Value::number(16), Value("xy")}));
    outer->save();
    ASSERT_TRUE(outer->dbResize("DETALLE", 1));
    ASSERT_TRUE(outer->dbResize("ATASAS", 1));
    EXPECT_EQ(outer->recNo(), 1);
    outer->goTo(2);
    auto d2 = outer->table("DETALLE");
    EXPECT_EQ(d2->aFields, (std::vector<std::string>{"Y", "Z", "W"}));
    EXPECT_EQ(d2->aBuffer[2].text(), "dw");
    ASSERT_EQ(outer->get("ATASAS").array().size(), 2u);
    EXPECT_EQ(outer->get("ATASAS").array()[1].text(), "  ");

    // A copy owns its nested tables; its buffer still shares its row's.
    TArray c = *outer;
    EXPECT_NE(c.aDatos[1][1].table(), d2);
    EXPECT_EQ(c.aBuffer[1].table(), c.aDatos[1][1].table());
}

TEST(TArrayDeclaration, FromRowsAndFromAnOpenTable) {
    auto t = structNew(std::vector<TArray::Row>{{Value("b")}, {Value("a")}});
    structField("cLetra", Value(" "));
    structEnd();
    t->goTop();
    EXPECT_EQ(t->lastRec(), 2);
    EXPECT_EQ(t->get("CLETRA").text(), "b");

    test::TempDir dir;
    std::string path = dir.file("articulo.dbf");
    {
        auto db = DbfTable::create(path, {{"CODIGO", 'C', 5, 0}, {"PRECIO", 'N', 8, 2}});
        ASSERT_TRUE(db);
        for (int i = 1; i <= 3; ++i) {
            ASSERT_TRUE(db->append());
            db->put(0, Value("0000" + std::to_string(i)));
            db->put(1, Value::number(10.5 * i));
        }
        db->goTo(2);
        db->deleteRecord();
        db->close();
    }
    int area = workspace().use(path, "ART", true, false, false);
    ASSERT_NE(area, 0);
    auto a = structNew("art");
    structField("nCant", Value::number(1), Value::number(4));
    structEnd();
    workspace().closeArea(area);

    EXPECT_EQ(a->aFields, (std::vector<std::string>{"CODIGO", "PRECIO", "NCANT"}));
    ASSERT_EQ(a->lastRec(), 2);  // the deleted record is not visible
    EXPECT_EQ(a->recNo(), 1);
    EXPECT_EQ(a->get("CODIGO").text(), "00001");
    EXPECT_EQ(a->get("NCANT").num(), 4);  // the default, after the table's own fields
    a->goBottom();
    EXPECT_DOUBLE_EQ(a->get("PRECIO").num(), 31.5);
}

}  // namespace
}  // namespace wv
