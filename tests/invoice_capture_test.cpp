// The invoice screen's rules without the screen: lines to the cent, numbers, storing from two
// stations, storing that cannot finish, loading, deleting and the occasional customer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <thread>

#include "catalog/catalogo.h"
#include "catalog/lookup.h"
#include "data/config.h"
#include "data/netuse.h"
#include "invoice/capture.h"
#include "invoice/lines.h"
#include "runtime/codepage.h"
#include "tests/data_fixture.h"

namespace wv {
namespace {

using test::OtherStation;

LineaFactura linea(double precio, double iva, double hosp, double cant = 1) {
    LineaFactura l;
    l.cIdArtic = "000001";
    l.cArticul = "CUARTO";
    l.nPrecioU = precio;
    l.nPorcIVA = iva;
    l.nPorcHos = hosp;
    l.nCant = cant;
    l.calcula();
    return l;
}

TEST(InvoiceLines, TaxesToTheCentAndTotalsAsTheSumsOfTheLines) {
    LineaFactura a = linea(116, 16, 0);
    EXPECT_DOUBLE_EQ(a.nImporte, 100);
    EXPECT_DOUBLE_EQ(a.nIVA, 16);
    LineaFactura b = linea(119, 16, 3, 2);
    EXPECT_DOUBLE_EQ(b.nImporte, 200);
    EXPECT_DOUBLE_EQ(b.nIVA, 32);
    EXPECT_DOUBLE_EQ(b.nHospeda, 6);
    // Each tax rounded to the cent, the net amount what is left of the price.
    LineaFactura c = linea(10, 16, 3);
    EXPECT_DOUBLE_EQ(c.nImporte, 8.41);
    EXPECT_DOUBLE_EQ(c.nIVA, 1.34);
    EXPECT_DOUBLE_EQ(c.nHospeda, 0.25);

    Factura f;
    for (int i = 0; i < 3; ++i) f.addLine(c);
    EXPECT_DOUBLE_EQ(f.nSubtot, 25.23);
    EXPECT_DOUBLE_EQ(f.nIva, 4.02);
    EXPECT_DOUBLE_EQ(f.nHospe, 0.75);
    EXPECT_DOUBLE_EQ(f.nTotal, 30.00) << "the lines add up to the prices";
    f.oFacturas.goTo(2);
    f.removeLine();
    f.oFacturas.goTo(1);
    f.removeLine();
    f.oFacturas.goTo(1);
    f.removeLine();
    EXPECT_EQ(f.nTotal, 0);
    EXPECT_EQ(f.nIva, 0);
}

TEST(InvoiceNumbers, TypedNumbersTakeTheirStoredFormAndTheCounterOnlyGoesForward) {
    EXPECT_EQ(normalizaNumero("41"), "0000000041");
    EXPECT_EQ(normalizaNumero(" b7 "), "B000000007");
    EXPECT_EQ(normalizaNumero("0000000041"), "0000000041");
    EXPECT_EQ(normalizaNumero("12A"), std::nullopt);
    EXPECT_EQ(normalizaNumero("          "), std::nullopt);
    EXPECT_EQ(normalizaNumero("12345678901"), std::nullopt);
    EXPECT_EQ(normalizaNumero("AB1"), std::nullopt);
    EXPECT_TRUE(counterAdvances("0000000041", "0000000042"));
    EXPECT_FALSE(counterAdvances("0000000041", "0000000010"));
    EXPECT_TRUE(counterAdvances("0000000041", "B000000007")) << "another series";
}

class InvoiceCaptureTest : public test::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        setLookupDialog({});
        withTable("datos/cliente.dbf", [&](WorkArea& a) {
            addRow(a, {{"ID", Value("0001")}, {"NOMBRE", Value("PRIMERO")}});
            addRow(a, {{"ID", Value("0002")}, {"NOMBRE", Value("SEGUNDO")}});
        });
    }
    // A capture opened with one customer and the lines given, ready to store.
    static void fill(CapturaFactura& cap, const std::string& customer,
                     const std::vector<LineaFactura>& lines) {
        cap.f.cIdCliente = customer;
        cap.customerValid();
        for (const LineaFactura& l : lines) cap.f.addLine(l);
    }
    std::string counter() { return allTrim(getCfg("CFACTURA", Value("")).text()); }
};

TEST_F(InvoiceCaptureTest, AStoredNumberMovesTheProposalAndTheCounterNeverGoesBack) {
    CapturaFactura cap(1);
    ASSERT_TRUE(cap.open());
    cap.newCycle();
    EXPECT_EQ(cap.f.cNumFact, "0000000001") << "no counter yet";
    cap.f.cNumFact = "b7";
    EXPECT_TRUE(cap.numberValid());
    EXPECT_EQ(cap.f.cNumFact, "B000000007");
    fill(cap, "0001", {linea(100, 16, 3)});
    ASSERT_EQ(cap.store(), CapturaFactura::Stored::Yes);
    cap.newCycle();
    EXPECT_EQ(cap.f.cNumFact, "B000000008");
    // Another station stored past it and moved the counter: the proposal follows the counter,
    // not what this station found free after its own store.
    ASSERT_TRUE(lSaveCfg("CFACTURA", Value("B000000008")));
    cap.newCycle();
    EXPECT_EQ(cap.f.cNumFact, "B000000009");
    ASSERT_TRUE(lSaveCfg("CFACTURA", Value("B000000007")));

    // A number typed below the counter is stored, and the counter stays.
    cap.f.cNumFact = "B000000003";
    fill(cap, "0001", {linea(100, 16, 3)});
    ASSERT_EQ(cap.store(), CapturaFactura::Stored::Yes);
    EXPECT_EQ(counter(), "B000000007");
    // Taken numbers are refused when typed.
    cap.newCycle();
    cap.f.cNumFact = "B3";
    EXPECT_FALSE(cap.numberValid());
    EXPECT_NE(op_.shown.back().text.find("ya existe"), std::string::npos);

    // Another station keeps the counter's record locked: the invoice is stored all the same,
    // and the operator is told that the counter stayed behind.
    OtherStation holder([&](OtherStation& me) {
        auto c = WorkArea::open(path("config/cfg.dbf"), "", true, false);
        c->setOrder(1);
        if (!c->seek(Value("CFACTURA"), false) || !c->table().rlock()) return 2;
        me.ready();
        me.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(holder.awaitReady());
    cap.newCycle();
    fill(cap, "0001", {linea(100, 16, 3)});
    op_.answers = {0};  // no more waiting for the lock
    EXPECT_EQ(cap.store(), CapturaFactura::Stored::Yes);
    holder.release();
    EXPECT_EQ(holder.join(), 0);
    EXPECT_NE(op_.shown.back().text.find("B000000008 se guardo, pero el contador"),
              std::string::npos);
    EXPECT_EQ(counter(), "B000000007");
}

TEST_F(InvoiceCaptureTest, TwoProcessesStoringTheSameProposedNumber) {
    const std::string proposed = "0000000001";
    // The other station is storing the same number: its header is appended, its number not yet
    // written nor keyed.
    OtherStation station([&](OtherStation& me) {
        CapturaFactura other(1);
        if (!other.open()) return 2;
        other.newCycle();
        if (other.f.cNumFact != proposed) return 3;
        WorkArea* h = workspace().area("FACTURAS");
        if (!h->table().holdAppendLock() || !h->table().append()) return 4;
        h->put("NUMERO", Value(proposed));
        h->put("IDCLIENTE", Value("0002"));
        me.ready();
        me.awaitRelease();
        h->table().unlockAll();
        WorkArea* d = workspace().area("DET_FACT");
        if (!d->table().append()) return 5;
        d->put("NUMERO", Value(proposed));
        d->table().unlockAll();
        return 0;
    });
    CapturaFactura cap(1);
    ASSERT_TRUE(cap.open());
    cap.newCycle();
    ASSERT_EQ(cap.f.cNumFact, proposed);
    fill(cap, "0001", {linea(116, 16, 0), linea(119, 16, 3, 2)});
    ASSERT_TRUE(station.awaitReady());
    std::thread([&station] {
        ::usleep(100000);
        station.release();
    }).detach();
    CapturaFactura::Stored s = cap.store();  // waits for the other station's append
    EXPECT_EQ(station.join(), 0);
    ASSERT_EQ(s, CapturaFactura::Stored::NumberTaken);
    EXPECT_NE(cap.f.cNumFact, proposed) << "the next free number is proposed";
    // Nothing of this store stays locked meanwhile: another handle can take the locks of the
    // next records of both tables.
    for (const char* table : {"datos/facturas.dbf", "datos/det_fact.dbf"}) {
        int err = 0;
        auto f = os::File::open(path(table), true, os::Share::Shared, &err);
        ASSERT_TRUE(f);
        EXPECT_TRUE(f->lock(0x7FFFFFFEULL - 10, 10, true, false)) << table;
    }
    ASSERT_EQ(cap.store(), CapturaFactura::Stored::Yes);

    std::vector<std::string> numbers = column("datos/facturas.dbf", "NUMERO");
    std::vector<std::string> customers = column("datos/facturas.dbf", "IDCLIENTE");
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_NE(numbers[0], numbers[1]) << "both stored, under different numbers";
    // Each invoice's lines carry its own number: two for 0001's, one for 0002's.
    std::vector<std::string> lineNumbers = column("datos/det_fact.dbf", "NUMERO");
    for (size_t i = 0; i < 2; ++i) {
        size_t lines = size_t(std::count(lineNumbers.begin(), lineNumbers.end(), numbers[i]));
        EXPECT_EQ(lines, customers[i] == "0001" ? 2u : 1u) << numbers[i];
    }
    EXPECT_EQ(counter(), cap.f.cNumFact);
}

TEST_F(InvoiceCaptureTest, ARefusedAppendStoresNothingAndTheScreenKeepsTheInvoice) {
    // Another station holds the lines' table locked whole (FLOCK).
    OtherStation holder([&](OtherStation& me) {
        auto d = WorkArea::open(path("datos/det_fact.dbf"), "OTRA", true, false);
        if (!d || !d->table().flock()) return 2;
        me.ready();
        me.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(holder.awaitReady());
    int round = 0;
    std::vector<std::string> printed;
    fCapFact(
        1,
        [&](CapturaFactura& cap) {
            switch (round++) {
                case 0:
                    fill(cap, "0001", {linea(116, 16, 0), linea(119, 16, 3)});
                    return 1;
                case 1:
                    // Refused: nothing stored, and the invoice is back on the screen as typed.
                    EXPECT_NE(op_.shown.back().text.find("No se guardo nada"), std::string::npos);
                    EXPECT_TRUE(column("datos/facturas.dbf", "NUMERO").empty());
                    EXPECT_TRUE(column("datos/det_fact.dbf", "NUMERO").empty());
                    EXPECT_EQ(counter(), "");
                    EXPECT_EQ(cap.f.cNumFact, "0000000001");
                    EXPECT_EQ(cap.f.lineCount(), 2);
                    holder.release();
                    EXPECT_EQ(holder.join(), 0);
                    return 1;
                default: return 0;
            }
        },
        [&](CapturaFactura& cap) { printed.push_back(cap.f.cNumFact); });
    EXPECT_EQ(printed, (std::vector<std::string>{"0000000001"}));
    EXPECT_EQ(column("datos/det_fact.dbf", "NUMERO").size(), 2u);
}

TEST_F(InvoiceCaptureTest, ALineThatCannotBeStoredTakesTheWholeInvoiceBack) {
    // The disk fills up while the lines go in: the lines' table can grow by one line and a bit.
    // It is made the largest file first, so that nothing else meets the limit.
    withTable("datos/det_fact.dbf", [&](WorkArea& a) {
        for (int i = 0; i < 300; ++i) addRow(a, {{"NUMERO", Value("X000000001")}});
    });
    const auto size = std::filesystem::file_size(path("datos/det_fact.dbf"));
    CapturaFactura cap(1);
    ASSERT_TRUE(cap.open());
    cap.newCycle();
    fill(cap, "0001", {linea(116, 16, 0), linea(119, 16, 3)});
    expectDialogs_ = true;
    {
        test::FileSizeLimit full(size + 166 + 80);
        EXPECT_EQ(cap.store(), CapturaFactura::Stored::Failed);
    }
    ASSERT_FALSE(dialogs_.empty()) << "the write error was shown";
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"), (std::vector<std::string>{"*0000000001"}));
    std::vector<std::string> lines = column("datos/det_fact.dbf", "NUMERO");
    ASSERT_EQ(lines.size(), 301u) << "the line that did not fit left no record";
    EXPECT_EQ(lines.back(), "*0000000001");
    EXPECT_EQ(counter(), "") << "the counter did not move";
    EXPECT_NE(op_.shown.back().text.find("linea 2"), std::string::npos);
    EXPECT_NE(op_.shown.back().text.find("se elimino"), std::string::npos);
    // The next invoice goes in whole after it.
    expectDialogs_ = false;
    cap.newCycle();
    fill(cap, "0001", {linea(116, 16, 0)});
    EXPECT_EQ(cap.store(), CapturaFactura::Stored::Yes);
    EXPECT_EQ(column("datos/det_fact.dbf", "NUMERO").size(), 302u);
}

TEST_F(InvoiceCaptureTest, LoadingDeletingAndTheOccasionalCustomer) {
    {
        CapturaFactura cap(1);
        ASSERT_TRUE(cap.open());
        cap.newCycle();
        fill(cap, "0001", {linea(116, 16, 0), linea(10, 16, 3)});
        ASSERT_EQ(cap.store(), CapturaFactura::Stored::Yes);
        cap.newCycle();
        cap.f.cIdCliente = kClienteOcasional;
        EXPECT_TRUE(cap.customerValid());
        EXPECT_TRUE(cap.f.mEdita);
        cap.f.cNombre = "HUESPED DE PASO";
        cap.f.addLine(linea(119, 16, 3));
        ASSERT_EQ(cap.store(), CapturaFactura::Stored::Yes);
    }
    CapturaFactura q(3);
    ASSERT_TRUE(q.open());
    q.newCycle();
    q.f.cNumFact = "0000000002";
    ASSERT_TRUE(q.numberValid());
    EXPECT_EQ(allTrim(q.f.cNombre), "HUESPED DE PASO") << "kept for the re-print";
    q.f.cNumFact = "0000000001";
    ASSERT_TRUE(q.numberValid());
    EXPECT_EQ(allTrim(q.f.cNombre), "PRIMERO");
    EXPECT_EQ(q.f.lineCount(), 2);
    q.f.cNumFact = "0000000002";
    q.numberValid();
    EXPECT_EQ(allTrim(q.f.cNombre), "HUESPED DE PASO") << "never the previous customer";

    // Cancelled: asked first, then shown when loaded.
    op_.answers = {1};
    EXPECT_TRUE(q.toggleCancel());
    q.numberValid();
    EXPECT_TRUE(q.f.lCancelada);
    // Another station takes the cancellation off while this one asks to take it off too: the
    // answer no longer applies, and the invoice is not cancelled again behind its back.
    OtherStation other([&](OtherStation&) {
        auto h = WorkArea::open(path("datos/facturas.dbf"), "OTRA", true, false);
        h->goTo(2);
        if (!h->table().rlock()) return 2;
        h->put("CANCE", Value(false));
        h->table().unlockAll();
        return 0;
    });
    ASSERT_EQ(other.join(), 0);
    op_.answers = {1};
    EXPECT_FALSE(q.toggleCancel());
    EXPECT_FALSE(q.f.lCancelada);
    q.numberValid();
    EXPECT_FALSE(q.f.lCancelada) << "not cancelled again";
    op_.answers = {1};
    ASSERT_TRUE(q.toggleCancel());

    // Deleting the first invoice deletes exactly its lines.
    q.f.cNumFact = "0000000001";
    q.numberValid();
    EXPECT_TRUE(q.erase());
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"),
              (std::vector<std::string>{"*0000000001", "0000000002"}));
    EXPECT_EQ(column("datos/det_fact.dbf", "NUMERO"),
              (std::vector<std::string>{"*0000000001", "*0000000001", "0000000002"}));

    // The screen's cycle: the "Eliminar"/"Cancelar" choice dismissed (Escape, close box) does
    // nothing and asks nothing more.
    q.close();
    int rounds = 0;
    const size_t before = op_.shown.size();
    op_.answers = {0};
    fCapFact(
        3,
        [&](CapturaFactura& c) {
            if (rounds++) return 0;
            c.f.cNumFact = "0000000002";
            c.numberValid();
            return 1;
        },
        [](CapturaFactura&) { ADD_FAILURE() << "nothing prints here"; });
    ASSERT_EQ(op_.shown.size(), before + 1);
    EXPECT_EQ(op_.shown.back().what, "alertbox");
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"),
              (std::vector<std::string>{"*0000000001", "0000000002"}));
    ASSERT_TRUE(q.open());
    q.f.cNumFact = "0000000002";
    q.numberValid();
    EXPECT_TRUE(q.f.lCancelada) << "still cancelled";
}

TEST_F(InvoiceCaptureTest, LinesThatCannotBeStoredOrPrintedAreRefused) {
    CapturaFactura cap(1);
    ASSERT_TRUE(cap.open());
    cap.newCycle();
    EXPECT_EQ(cap.lineRefusal(linea(0, 16, 3)), "Es necesario un valor mayor a 0, verifique...");
    EXPECT_NE(cap.lineRefusal(linea(100000, 16, 3)), "") << "past the printed 99,999.99";
    EXPECT_NE(cap.lineRefusal(linea(10, 16, 3, 1000)), "") << "past 999 units";
    EXPECT_EQ(cap.lineRefusal(linea(99999.99, 16, 3)), "");
    // The form of a new installation has room for 41 lines above its totals.
    EXPECT_EQ(cap.roomForLines(), 41);
    for (int i = 0; i < 41; ++i) cap.f.addLine(linea(10, 16, 3));
    EXPECT_NE(cap.lineRefusal(linea(10, 16, 3)).find("lugar"), std::string::npos);

    // The line editor computes again on "Aceptar".
    cap.newCycle();
    EditorLinea e(cap, 1);
    e.l.nPrecioU = 10;
    e.l.nPorcIVA = 16;
    e.l.nPorcHos = 3;
    ASSERT_TRUE(e.acepta());
    EXPECT_DOUBLE_EQ(cap.f.line(1).nImporte, 8.41);
    EXPECT_DOUBLE_EQ(cap.f.nTotal, 10.00);
}

}  // namespace
}  // namespace wv
