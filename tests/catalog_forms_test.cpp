// The record forms and the lookup without a screen: a scripted dialog edits the buffers, other
// stations are other work areas or other processes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "catalog/catalogo.h"
#include "catalog/forms.h"
#include "catalog/lookup.h"
#include "data/netuse.h"
#include "runtime/codepage.h"
#include "tests/data_fixture.h"

namespace wv {
namespace {

using test::OtherStation;

class CatalogFormsTest : public test::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        setLookupDialog({});
    }
    // The catalogue opened as the browser opens it, current.
    WorkArea* open(const std::string& name) {
        EXPECT_TRUE(netUse(name, false, name, oApp().xDatos));
        return workspace().area(name);
    }
    void addCustomer(const std::string& id, const std::string& name) {
        withTable("datos/cliente.dbf",
                  [&](WorkArea& a) { addRow(a, {{"ID", Value(id)}, {"NOMBRE", Value(name)}}); });
    }
    std::string said(const std::string& what) const {
        std::string out;
        for (const auto& s : op_.shown)
            if (s.what == what) out += s.text + "\n";
        return out;
    }
    // Another station's handle on a table of the installation.
    std::unique_ptr<WorkArea> other(const std::string& rel) {
        return WorkArea::open(path(rel), "OTRA", true, false);
    }
};

// A dialog that sets the fields given and accepts.
FormDialog typing(std::vector<std::pair<std::string, std::string>> values) {
    return [values](RecordForm& f) {
        for (const auto& [field, v] : values) f[field] = Value(v);
        f.accepted = true;
        return true;
    };
}

TEST_F(CatalogFormsTest, ACodeTakenWhileTheFormWasOpenIsStoredAsTheNextFreeOne) {
    addCustomer("0001", "PRIMERO");
    WorkArea* a = open("CLIENTE");
    std::string proposed;
    fClientes(kAlta, [&](RecordForm& f) {
        proposed = f.code().value.text();
        // Meanwhile another station stores that very code.
        auto b = other("datos/cliente.dbf");
        EXPECT_TRUE(b->table().append());
        b->put("ID", Value(proposed));
        b->put("NOMBRE", Value("DE OTRA ESTACION"));
        b->table().unlockAll();
        f["NOMBRE"] = Value("MIO");
        f.accepted = true;
        return true;
    });
    EXPECT_EQ(proposed, "0002");
    EXPECT_EQ(column("datos/cliente.dbf", "ID"),
              (std::vector<std::string>{"0001", "0002", "0003"}));
    EXPECT_EQ(column("datos/cliente.dbf", "NOMBRE"),
              (std::vector<std::string>{"PRIMERO", "DE OTRA ESTACION", "MIO"}));
    EXPECT_NE(said("info").find("0003"), std::string::npos) << "the operator is told the code";
    EXPECT_EQ(allTrim(a->get("NOMBRE").text()), "MIO") << "left on the new record";
}

TEST_F(CatalogFormsTest, TwoProcessesAddingCustomersAtOnceStoreDistinctCodes) {
    addCustomer("0001", "PRIMERO");
    // The other station is in the middle of its add: its record is appended, its code not yet
    // written nor keyed, when this station's form proposes the same code and saves.
    OtherStation station([](OtherStation& me) {
        if (!netUse("CLIENTE", false, "CLIENTE", oApp().xDatos)) return 2;
        DbfTable& t = workspace().area()->table();
        if (!t.holdAppendLock() || !t.append()) return 3;
        t.put("ID", Value("0002"));
        t.put("NOMBRE", Value("DE OTRA ESTACION"));
        me.ready();
        me.awaitRelease();
        t.unlockAll();
        return 0;
    });
    ASSERT_TRUE(station.awaitReady());
    open("CLIENTE");
    std::string proposed;
    fClientes(kAlta, [&](RecordForm& f) {
        proposed = f.code().value.text();
        f["NOMBRE"] = Value("DE ESTA ESTACION");
        f.accepted = true;
        // The other station finishes while this one waits for the append lock.
        std::thread([&station] {
            ::usleep(100000);
            station.release();
        }).detach();
        return true;
    });
    EXPECT_EQ(station.join(), 0);
    EXPECT_EQ(proposed, "0002");
    EXPECT_EQ(column("datos/cliente.dbf", "ID"),
              (std::vector<std::string>{"0001", "0002", "0003"}));
    EXPECT_EQ(column("datos/cliente.dbf", "NOMBRE"),
              (std::vector<std::string>{"PRIMERO", "DE OTRA ESTACION", "DE ESTA ESTACION"}));
    EXPECT_EQ(open("CLIENTE")->keyCount(), 3u) << "every record keyed";
}

TEST_F(CatalogFormsTest, AnAddThatCannotBeWrittenStoresNothingAndTheNextTakesItsPlace) {
    addCustomer("0001", "PRIMERO");
    open("CLIENTE");
    // The disk is full: the table cannot grow.
    expectDialogs_ = true;
    {
        test::FileSizeLimit full(std::filesystem::file_size(path("datos/cliente.dbf")));
        fClientes(kAlta, typing({{"NOMBRE", "PERDIDO"}}));
    }
    EXPECT_FALSE(dialogs_.empty()) << "the write error was shown";
    EXPECT_EQ(said("info"), "") << "no code is announced for a record not stored";
    expectDialogs_ = false;
    fClientes(kAlta, typing({{"NOMBRE", "GUARDADO"}}));
    EXPECT_EQ(column("datos/cliente.dbf", "NOMBRE"),
              (std::vector<std::string>{"PRIMERO", "GUARDADO"}));
}

TEST_F(CatalogFormsTest, AModifyWritesOnlyOverWhatItLoaded) {
    addCustomer("0001", "ORIGINAL");
    addCustomer("0002", "SEGUNDO");
    WorkArea* a = open("CLIENTE");
    a->goTop();
    int shown = 0;
    std::vector<std::string> names;
    fClientes(kModifica, [&](RecordForm& f) {
        names.push_back(allTrim(f["NOMBRE"].text()));
        if (++shown == 1) {
            auto b = other("datos/cliente.dbf");
            b->goTo(1);
            EXPECT_TRUE(b->table().rlock());
            b->put("NOMBRE", Value("CAMBIADO ALLA"));
            b->table().unlockAll();
        }
        f["DOMICILIO"] = Value("CALLE " + std::to_string(shown));
        f.accepted = true;
        return true;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"ORIGINAL", "CAMBIADO ALLA"}))
        << "told, and shown the current values again";
    EXPECT_NE(said("stop").find("modifico"), std::string::npos);
    EXPECT_EQ(column("datos/cliente.dbf", "NOMBRE")[0], "CAMBIADO ALLA");
    EXPECT_EQ(column("datos/cliente.dbf", "DOMICILIO")[0], "CALLE 2");

    // A record deleted meanwhile is not written back to life.
    a->goTo(2);
    fClientes(kModifica, [&](RecordForm& f) {
        auto b = other("datos/cliente.dbf");
        b->goTo(2);
        EXPECT_TRUE(b->table().rlock());
        b->table().deleteRecord();
        b->table().unlockAll();
        f["NOMBRE"] = Value("RESUCITADO");
        f.accepted = true;
        return true;
    });
    EXPECT_EQ(column("datos/cliente.dbf", "NOMBRE")[1], "*SEGUNDO");
    EXPECT_NE(said("stop").find("elimino"), std::string::npos);
}

TEST_F(CatalogFormsTest, AnInvoicedCustomerIsNotDeleted) {
    addCustomer("0001", "CON FACTURA");
    addCustomer("0002", "SIN FACTURA");
    withTable("datos/facturas.dbf", [&](WorkArea& f) {
        addRow(f, {{"NUMERO", Value("0000000001")}, {"IDCLIENTE", Value("0001")}});
    });
    WorkArea* a = open("CLIENTE");
    a->goTop();
    op_.answers = {1, 1};
    fClientes(kBaja, {});
    EXPECT_NE(said("stop").find("facturas"), std::string::npos);
    a->goTo(2);
    fClientes(kBaja, {});
    EXPECT_EQ(column("datos/cliente.dbf", "NOMBRE"),
              (std::vector<std::string>{"CON FACTURA", "*SIN FACTURA"}));
    EXPECT_EQ(workspace().areaOf("FACT_CLI"), 0) << "the invoices' area is closed again";
}

TEST_F(CatalogFormsTest, CustomerCodesFollowTheFieldAndSkipTheOccasionalCustomer) {
    addCustomer("0005", "CINCO");
    addCustomer(kClienteOcasional, "OCASIONAL");
    open("CLIENTE");
    EXPECT_EQ(codePicture("CLIENTE"), "9999");
    EXPECT_EQ(nextCode("CLIENTE"), "0006");

    // The code typed is zero-filled before the duplicate check.
    RecordForm form("CLIENTE", "CLIENTE", kAlta, {{101, "ID", "9999", "", ""}});
    ASSERT_TRUE(form.load());
    form.code().value = Value("5   ");
    EXPECT_FALSE(form.validCode());
    EXPECT_EQ(form.code().value.text(), "0005");
    EXPECT_NE(said("stop").find("Imposible duplicar"), std::string::npos);

    // 9998 in use: the next would be the occasional customer's, and there is no other.
    workspace().closeAll();
    addCustomer("9998", "ULTIMO");
    open("CLIENTE");
    EXPECT_EQ(nextCode("CLIENTE"), std::nullopt);
    op_.shown.clear();
    bool asked = false;
    fClientes(kAlta, [&](RecordForm&) { return asked = true; });
    EXPECT_FALSE(asked);
    EXPECT_NE(said("stop").find("codigos libres"), std::string::npos);
}

TEST_F(CatalogFormsTest, TheLookupFindsZeroFilledCodesAndADismissedListLeavesNoRecord) {
    withTable("datos/concfac.dbf", [&](WorkArea& c) {
        addRow(c, {{"ID", Value("0007")}, {"NOMBRE", Value("SIETE")}});
        addRow(c, {{"ID", Value("0009")}, {"NOMBRE", Value("NUEVE")}});
    });
    WorkArea* c = open("CONCFAC");
    int lists = 0;
    setLookupDialog([&](const LookupRequest& r) {
        ++lists;
        EXPECT_EQ(r.title, "Listado de: Conc. Facturacion: Ordenando por: Nombre");
        c->goBottom();  // the grid showed the last row, then the operator pressed Escape
        return false;
    });
    EXPECT_EQ(valCod("7   ", "concfac"), "0007");
    EXPECT_EQ(lists, 0);
    EXPECT_EQ(valCod("12  ", "concfac"), "    ");
    EXPECT_EQ(lists, 1);
    EXPECT_TRUE(c->eof());
    EXPECT_EQ(allTrim(c->get("NOMBRE").text()), "") << "a caller copying it copies blanks";
    EXPECT_EQ(c->order(), 1);
}

TEST_F(CatalogFormsTest, TheArticleFormWritesToTheArticlesWhateverTheLookupLeftCurrent) {
    withTable("datos/concfac.dbf",
              [&](WorkArea& c) { addRow(c, {{"ID", Value("0003")}, {"NOMBRE", Value("HOSP")}}); });
    open("ARTICULO");
    fArticulo(kAlta, [](RecordForm& f) {
        f["NOMBRE"] = Value("CUARTO DOBLE");
        f["IDCONCFACT"] = Value("3   ");
        articleConcept(f);
        EXPECT_EQ(f.conceptName.substr(0, 4), "HOSP");
        f.accepted = true;
        return true;
    });
    EXPECT_EQ(column("datos/articulo.dbf", "NOMBRE"), (std::vector<std::string>{"CUARTO DOBLE"}));
    EXPECT_EQ(column("datos/articulo.dbf", "IDCONCFACT"), (std::vector<std::string>{"0003"}));
    EXPECT_EQ(column("datos/concfac.dbf", "NOMBRE"), (std::vector<std::string>{"HOSP"}));
    EXPECT_EQ(workspace().areaOf("CONCFAC"), 0) << "the concepts are closed again";
}

TEST_F(CatalogFormsTest, RecordModesNeedARecordAndConsultWritesNothing) {
    addCustomer("0001", "UNO");
    WorkArea* a = open("CLIENTE");
    a->goBottom();
    a->skip(1);
    bool asked = false;
    fClientes(kConsulta, [&](RecordForm&) { return asked = true; });
    fClientes(kModifica, [&](RecordForm&) { return asked = true; });
    EXPECT_FALSE(asked) << "nothing to show at the end of the table";

    a->goTop();
    auto before = snapshot();
    fClientes(kConsulta, typing({{"NOMBRE", "OTRO"}}));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CatalogFormsTest, MaintenanceWaitsUntilNoOtherStationHasTheCatalogue) {
    addCustomer("0001", "UNO");
    OtherStation holder([&](OtherStation& me) {
        if (!netUse("CLIENTE", false, "CLIENTE", oApp().xDatos)) return 2;
        me.ready();
        me.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(holder.awaitReady());
    open("CLIENTE");
    auto before = snapshot();
    fClientes(kMantenimiento, {});
    EXPECT_NE(said("stop").find("abierto en otra estacion"), std::string::npos);
    EXPECT_EQ(snapshot(), before) << "no tag touched";
    holder.release();
    EXPECT_EQ(holder.join(), 0);

    op_.shown.clear();
    fClientes(kMantenimiento, {});
    EXPECT_NE(said("alert").find("se finalizo satisfactoriamente"), std::string::npos);
    // Shared again afterwards: another station can open it.
    OtherStation after([&](OtherStation&) {
        return netUse("CLIENTE", false, "CLIENTE", oApp().xDatos) ? 0 : 2;
    });
    EXPECT_EQ(after.join(), 0);
}

}  // namespace
}  // namespace wv
