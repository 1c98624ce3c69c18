// The print positions: the table must hold its 23 records; the values are loaded, written back
// only when the operator accepts and confirms, record by record under locks.
#include <gtest/gtest.h>

#include "data/netuse.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "invoice/positions.h"
#include "storage/dbf.h"
#include "tests/data_fixture.h"

namespace wv {
namespace {

class PositionsTest : public test::InstallationTest {
protected:
    // Runs the command with a dialog that applies `edit` and answers `accept`.
    int run(bool accept, const std::function<void(Posiciones&)>& edit = {}) {
        int shown = 0;
        fPosicionesImpresion([&](Posiciones& p) {
            ++shown;
            loaded_ = p;
            if (edit) edit(p);
            return accept;
        });
        EXPECT_EQ(workspace().area(), nullptr);  // every table closed at the end
        return shown;
    }
    Posiciones loaded_;
};

TEST_F(PositionsTest, LoadsTheFormsPositionsInRecordOrder) {
    EXPECT_EQ(run(false), 1);
    const auto& defaults = defaultPrintPositions();
    ASSERT_EQ(defaults.size(), size_t(kPositions));
    for (int n = 1; n <= kPositions; ++n) {
        EXPECT_DOUBLE_EQ(loaded_.p1[size_t(n)], defaults[size_t(n - 1)].renglon) << n;
        EXPECT_DOUBLE_EQ(loaded_.p2[size_t(n)], defaults[size_t(n - 1)].columna) << n;
        EXPECT_EQ(loaded_.p3[size_t(n)], defaults[size_t(n - 1)].imprimir) << n;
    }
    EXPECT_TRUE(op_.shown.empty());  // dismissed: no question, nothing written
}

TEST_F(PositionsTest, ATableWithoutExactly23RecordsOpensNoDialog) {
    withTable("datos/pos_fac.dbf", [](WorkArea& a) { addRow(a, {}, true); });  // 24, one deleted
    auto with24 = snapshot();
    EXPECT_EQ(run(true), 0);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text,
              "Faltan parametros necesarios para la impresion de: FACTURAS, consulte a su "
              "asesor...");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_EQ(snapshot(), with24);

    withTable("datos/pos_fac.dbf", [](WorkArea& a) {
        ASSERT_TRUE(a.table().pack());
        a.goTo(1);
        a.table().deleteRecord();
        ASSERT_TRUE(a.table().pack());  // 22
    });
    EXPECT_EQ(run(true), 0);
    EXPECT_EQ(op_.shown.size(), 2u);
}

TEST_F(PositionsTest, SavedOnlyWhenAcceptedAndConfirmed) {
    auto before = snapshot();
    auto edit = [](Posiciones& p) {
        p.p1[12] = 9.5;    // the row of the first line
        p.p3[10] = false;  // no first comment
        p.p2[22] = 17.256;
    };
    op_.answers = {0};
    EXPECT_EQ(run(true, edit), 1);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "yesno");
    EXPECT_EQ(op_.shown[0].text, "Desea guardar sus cambios ?");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_EQ(snapshot(), before);  // "No": untouched

    EXPECT_EQ(run(false, edit), 1);  // cancelled: not even asked
    EXPECT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(snapshot(), before);

    op_.answers = {1};
    EXPECT_EQ(run(true, edit), 1);
    Posiciones expected = loaded_;
    EXPECT_EQ(run(false), 1);
    EXPECT_DOUBLE_EQ(loaded_.p1[12], 9.5);
    EXPECT_FALSE(loaded_.p3[10]);
    EXPECT_DOUBLE_EQ(loaded_.p2[22], 17.26);  // stored with two decimals
    for (int n = 1; n <= kPositions; ++n) {   // the rest as it was
        if (n == 12 || n == 10 || n == 22) continue;
        EXPECT_DOUBLE_EQ(loaded_.p1[size_t(n)], expected.p1[size_t(n)]) << n;
        EXPECT_DOUBLE_EQ(loaded_.p2[size_t(n)], expected.p2[size_t(n)]) << n;
        EXPECT_EQ(loaded_.p3[size_t(n)], expected.p3[size_t(n)]) << n;
    }
}

TEST_F(PositionsTest, ARecordMarkedDeletedKeepsItsPlace) {
    withTable("datos/pos_fac.dbf", [](WorkArea& a) {
        a.goTo(6);
        a.table().deleteRecord();
        a.table().flush();
    });
    op_.answers = {1};
    run(true, [](Posiciones& p) { p.p1[23] = 4.5; });
    const auto& defaults = defaultPrintPositions();
    for (int n : {5, 6, 7, 23})
        EXPECT_DOUBLE_EQ(loaded_.p2[size_t(n)], defaults[size_t(n - 1)].columna) << n;
    EXPECT_EQ(run(false), 1);
    EXPECT_DOUBLE_EQ(loaded_.p1[23], 4.5);  // the last position was shown and saved
    EXPECT_DOUBLE_EQ(loaded_.p1[7], defaults[6].renglon);
}

TEST_F(PositionsTest, ARecordLockedElsewhereKeepsItsValues) {
    // Another handle on the table holds position 5 (locks belong to their handle).
    DbfTable::OpenOptions o;
    o.shared = true;
    auto other = DbfTable::open(path("datos/pos_fac.dbf"), o);
    ASSERT_TRUE(other);
    other->goTo(5);
    ASSERT_TRUE(other->rlock());
    op_.answers = {1, 0};  // save; then stop waiting for the lock
    run(true, [](Posiciones& p) {
        for (int n = 1; n <= kPositions; ++n) p.p2[size_t(n)] = 1.25;
    });
    other->unlockAll();
    other.reset();
    EXPECT_EQ(run(false), 1);
    for (int n = 1; n <= kPositions; ++n) {
        double want = n == 5 ? defaultPrintPositions()[4].columna : 1.25;
        EXPECT_DOUBLE_EQ(loaded_.p2[size_t(n)], want) << n;
    }
}

}  // namespace
}  // namespace wv
