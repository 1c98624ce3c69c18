// Index rebuilding, the maintenance command and the laying out of a new installation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "data/application.h"
#include "data/maintenance.h"
#include "data/netuse.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "storage/dbf.h"
#include "tests/data_fixture.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using test::InstallationTest;
using test::OtherStation;

const char kWarning[] =
    "Estimado USUARIO DEMO, le recordamos que para hacer uso de esta opcion\r\n"
    "es necesario que nadie este dentro del sistema, esta seguro de querer continuar ?";

const std::vector<std::string> kTables = {"facturas", "det_fact", "concfac", "cliente",
                                          "articulo"};

// The progress texts of the maintenance command, in order, leaving out the given table.
std::vector<std::string> maintenanceTexts(const std::string& without = "") {
    std::vector<std::string> out;
    auto box = [&](const char* table, const char* tag, const char* key) {
        if (without != table)
            out.push_back(std::string("INDEXANDO: .\\DATOS\\") + table + ".DBF EN: " + tag +
                          " CON LLAVE: " + key);
    };
    box("FACTURAS", "numero", "numero");
    box("FACTURAS", "fecha", "dtos(fecha)");
    box("DET_FACT", "numero", "numero");
    box("CONCFAC", "id", "id");
    box("CONCFAC", "nombre", "nombre");
    box("CLIENTE", "id", "id");
    box("CLIENTE", "nombre", "nombre");
    box("ARTICULO", "id", "id");
    box("ARTICULO", "nombre", "nombre");
    return out;
}

// The completion notices are alerts titled with the company name: either kind of alert box.
bool isAlert(const ScriptedOperator::Shown& s) { return s.what == "alertbox" || s.what == "alert"; }

class MaintenanceTest : public InstallationTest {
protected:
    bool demo() const override { return true; }

    // Invoices and lines, some of them marked deleted, and one deleted record in each catalogue.
    void fillWithDeletedRecords() {
        withTable("datos/facturas.dbf", [](WorkArea& a) {
            addRow(a, {{"NUMERO", Value("0000000003")}, {"FECHA", Value(dateFromYmd(2008, 5, 19))}});
            addRow(a, {{"NUMERO", Value("0000000001")}, {"FECHA", Value(dateFromYmd(2008, 5, 17))}},
                   true);
            addRow(a, {{"NUMERO", Value("0000000002")}, {"FECHA", Value(dateFromYmd(2007, 12, 31))}});
        });
        withTable("datos/det_fact.dbf", [](WorkArea& a) {
            addRow(a, {{"NUMERO", Value("0000000003")}, {"CONCEPTO1", Value("uno")}});
            addRow(a, {{"NUMERO", Value("0000000001")}, {"CONCEPTO1", Value("dos")}}, true);
            addRow(a, {{"NUMERO", Value("0000000001")}, {"CONCEPTO1", Value("tres")}}, true);
            addRow(a, {{"NUMERO", Value("0000000002")}, {"CONCEPTO1", Value("cuatro")}});
        });
        for (const auto& [table, rec] : std::vector<std::pair<std::string, uint32_t>>{
                 {"concfac", 2}, {"cliente", 3}, {"articulo", 10}})
            withTable("datos/" + table + ".dbf", [rec = rec](WorkArea& a) {
                a.goTo(rec);
                a.table().deleteRecord();
                a.table().flush();
            });
    }

    void expectSound(const std::string& rel, const std::string& summary) {
        test::RunResult r = test::db({"check", path(rel)});
        EXPECT_EQ(r.status, 0) << rel << ": " << r.out << r.err;
        if (!summary.empty()) {
            EXPECT_EQ(r.out, summary) << rel;
        }
    }

    std::vector<std::string> progressTexts() const {
        std::vector<std::string> out;
        for (const auto& s : op_.shown)
            if (s.what == "progress") out.push_back(s.text);
        return out;
    }
};

TEST_F(MaintenanceTest, NoAtTheWarningTouchesNothing) {
    fillWithDeletedRecords();
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    workspace().closeAll();
    auto before = snapshot();
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    op_.answers = {0};
    ordena();
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "yesno");
    EXPECT_EQ(op_.shown[0].title, "Advertencia de Seguridad");
    EXPECT_EQ(op_.shown[0].text, kWarning);
    EXPECT_NE(fArea("CLIENTE"), 0);  // not even the open tables are closed
    workspace().closeAll();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(MaintenanceTest, OrdenaPacksEveryTableAndRebuildsItsTags) {
    fillWithDeletedRecords();
    auto before = snapshot();
    ASSERT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    op_.answers = {1};
    ordena();
    EXPECT_EQ(fArea("FACTURAS"), 0);  // every table was closed first

    ASSERT_EQ(op_.shown.size(), 11u);
    EXPECT_EQ(op_.shown[0].what, "yesno");
    EXPECT_EQ(progressTexts(), maintenanceTexts());
    for (size_t i = 1; i < 10; ++i) EXPECT_EQ(op_.shown[i].title, oApp().cEmpresa);
    EXPECT_TRUE(isAlert(op_.shown[10])) << op_.shown[10].what;
    EXPECT_EQ(op_.shown[10].text, "Mantenimiento Finalizado...");
    EXPECT_EQ(op_.shown[10].title, oApp().cEmpresa);
    EXPECT_TRUE(dialogs_.empty());

    // The deleted records are gone; the others keep their order.
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"),
              (std::vector<std::string>{"0000000003", "0000000002"}));
    EXPECT_EQ(column("datos/det_fact.dbf", "CONCEPTO1"),
              (std::vector<std::string>{"uno", "cuatro"}));
    EXPECT_EQ(column("datos/concfac.dbf", "ID"),
              (std::vector<std::string>{"0001", "0003", "0004"}));
    std::vector<std::string> clientes = column("datos/cliente.dbf", "ID");
    ASSERT_EQ(clientes.size(), 11u);
    EXPECT_EQ(clientes[1], "0002");
    EXPECT_EQ(clientes[2], "0004");
    EXPECT_EQ(column("datos/articulo.dbf", "ID").size(), 9u);

    EXPECT_EQ(tagNames("datos/facturas.dbf"), (std::vector<std::string>{"NUMERO", "FECHA"}));
    EXPECT_EQ(tagNames("datos/det_fact.dbf"), std::vector<std::string>{"NUMERO"});
    for (const char* t : {"concfac", "cliente", "articulo"})
        EXPECT_EQ(tagNames(std::string("datos/") + t + ".dbf"),
                  (std::vector<std::string>{"ID", "NOMBRE"}))
            << t;
    expectSound("datos/facturas.dbf", "ok: 2 records, 2 tags, 4 keys\n");
    expectSound("datos/det_fact.dbf", "ok: 2 records, 1 tags, 2 keys\n");
    expectSound("datos/concfac.dbf", "ok: 3 records, 2 tags, 6 keys\n");
    expectSound("datos/cliente.dbf", "ok: 11 records, 2 tags, 22 keys\n");
    expectSound("datos/articulo.dbf", "ok: 9 records, 2 tags, 18 keys\n");

    // The print positions and the configuration are not part of it.
    auto after = snapshot();
    EXPECT_EQ(after["datos/pos_fac.dbf"], before["datos/pos_fac.dbf"]);
    EXPECT_EQ(after["config/cfg.dbf"], before["config/cfg.dbf"]);
    EXPECT_EQ(after["config/cfg.cdx"], before["config/cfg.cdx"]);

    // The progress bar follows the records and ends at the count.
    ASSERT_EQ(op_.positions.size(), 9u);
    EXPECT_EQ(op_.positions[0].back(), 2u);  // facturas after the pack
    EXPECT_EQ(op_.positions[5].back(), 11u);  // cliente after the pack
}

TEST_F(MaintenanceTest, EmptyTableGetsItsTagsAndTheProgressEndsAtZero) {
    op_.answers = {1};
    ordena();
    ASSERT_EQ(op_.positions.size(), 9u);
    for (size_t box : {0, 1, 2}) {  // facturas and det_fact are empty
        ASSERT_FALSE(op_.positions[box].empty()) << box;
        EXPECT_EQ(op_.positions[box].back(), 0u) << box;
        for (uint32_t p : op_.positions[box]) EXPECT_EQ(p, 0u) << box;
    }
    EXPECT_EQ(tagNames("datos/facturas.dbf"), (std::vector<std::string>{"NUMERO", "FECHA"}));
    EXPECT_EQ(tagNames("datos/det_fact.dbf"), std::vector<std::string>{"NUMERO"});
    expectSound("datos/facturas.dbf", "ok: 0 records, 2 tags, 0 keys\n");
    expectSound("datos/det_fact.dbf", "ok: 0 records, 1 tags, 0 keys\n");
    EXPECT_EQ(op_.positions[3].back(), 4u);  // concfac
}

TEST_F(MaintenanceTest, ProgressTextNamesTheFileAsPassed) {
    // An extension given is not doubled; keys and names are trimmed; the default directory.
    fIndexar("concfac.dbf", {{"  id ", "id"}, {"nombre", "nombre"}}, false, ".\\datos\\");
    fIndexar("datos\\cliente", {{"id", "id"}});
    EXPECT_EQ(progressTexts(),
              (std::vector<std::string>{
                  "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: id CON LLAVE: id",
                  "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: nombre CON LLAVE: nombre",
                  "INDEXANDO: .\\DATOS\\CLIENTE.DBF EN: id CON LLAVE: id",
              }));
    EXPECT_EQ(fArea("CONCFAC"), 0);
    EXPECT_EQ(fArea("CLIENTE"), 0);
    expectSound("datos/concfac.dbf", "ok: 4 records, 2 tags, 8 keys\n");
    expectSound("datos/cliente.dbf", "");
}

TEST_F(MaintenanceTest, OpenCatalogueIsReindexedInPlace) {
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    int area = workspace().current();
    WorkArea* a = workspace().area();
    a->goTo(2);
    ASSERT_TRUE(recLock());
    a->table().deleteRecord();
    a->table().unlockAll();

    fIndexar("CONCFAC", {{"id", "id"}, {"nombre", "nombre"}}, true, ".\\DATOS\\",
             "Conc. Facturacion");
    ASSERT_EQ(op_.shown.size(), 3u);
    EXPECT_EQ(op_.shown[0].text, "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: id CON LLAVE: id");
    EXPECT_EQ(op_.shown[1].text, "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: nombre CON LLAVE: nombre");
    EXPECT_TRUE(isAlert(op_.shown[2])) << op_.shown[2].what;
    EXPECT_EQ(op_.shown[2].text,
              "El mantenimiento a: CONC. FACTURACION\r\n"
              " En: .\\datos\\concfac.dbf, se finalizo satisfactoriamente...");
    EXPECT_EQ(op_.shown[2].title, oApp().cEmpresa);

    // Still open, shared, current, and not packed.
    EXPECT_EQ(fArea("CONCFAC"), area);
    EXPECT_EQ(workspace().current(), area);
    ASSERT_EQ(workspace().area(), a);
    EXPECT_TRUE(a->table().shared());
    EXPECT_EQ(a->recCount(), 4u);
    ASSERT_NE(a->bag(), nullptr);
    EXPECT_EQ(a->bag()->tags().size(), 2u);
    workspace().closeAll();
    EXPECT_EQ(column("datos/concfac.dbf", "ID"),
              (std::vector<std::string>{"0001", "*0002", "0003", "0004"}));
    expectSound("datos/concfac.dbf", "ok: 4 records, 2 tags, 8 keys\n");
}

TEST_F(MaintenanceTest, DamagedOrMissingIndexFilesAreBuiltAfresh) {
    test::writeBytes(path("datos/cliente.cdx"), std::string(1536, '\x5A'));
    std::filesystem::remove(path("datos/articulo.cdx"));
    op_.answers = {1};
    ordena();
    EXPECT_EQ(progressTexts(), maintenanceTexts());
    EXPECT_TRUE(dialogs_.empty());
    expectSound("datos/cliente.dbf", "ok: 12 records, 2 tags, 24 keys\n");
    expectSound("datos/articulo.dbf", "ok: 10 records, 2 tags, 20 keys\n");
}

// Presses "Cancelar" in the one progress box whose text is given.
class CancellingOperator : public ScriptedOperator {
public:
    std::string cancelIn;
    uint32_t at = 0;
    bool progress(const std::string& text, const std::string& title,
                  const std::function<void(Progress&)>& work) override {
        if (text == cancelIn)
            cancelAt = at;
        else
            cancelAt.reset();
        return ScriptedOperator::progress(text, title, work);
    }
};

TEST_F(MaintenanceTest, CancelStopsOnlyThatTagAndTheNextMaintenanceRestoresIt) {
    CancellingOperator op;
    op.onUnexpected = [](const ScriptedOperator::Shown& s) {
        if (s.what != "alertbox") ADD_FAILURE() << s.text;
    };
    op.cancelIn = "INDEXANDO: .\\DATOS\\CLIENTE.DBF EN: nombre CON LLAVE: nombre";
    op.at = 5;
    op.answers = {1};
    {
        ScriptedOperator::Scope scope(op);
        ordena();
    }
    std::vector<std::string> texts;
    for (const auto& s : op.shown)
        if (s.what == "progress") texts.push_back(s.text);
    EXPECT_EQ(texts, maintenanceTexts());
    ASSERT_FALSE(op.shown.empty());
    EXPECT_TRUE(isAlert(op.shown.back()));
    EXPECT_EQ(op.shown.back().text, "Mantenimiento Finalizado...");

    // The cancelled box stopped building at the record where it was cancelled.
    ASSERT_EQ(op.positions.size(), 9u);
    const std::vector<uint32_t>& cancelled = op.positions[6];
    ASSERT_GE(cancelled.size(), 2u);
    for (size_t i = 0; i + 1 < cancelled.size(); ++i) EXPECT_LE(cancelled[i], 5u);
    EXPECT_EQ(cancelled.back(), 12u) << ::testing::PrintToString(cancelled);
    EXPECT_EQ(op.positions[5].back(), 12u);
    EXPECT_EQ(op.positions[5].size(), op.positions[8].size() + 2);  // 12 records against 10

    EXPECT_EQ(tagNames("datos/cliente.dbf"), std::vector<std::string>{"ID"});
    expectSound("datos/cliente.dbf", "ok: 12 records, 1 tags, 12 keys\n");
    EXPECT_EQ(tagNames("datos/articulo.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    expectSound("datos/articulo.dbf", "ok: 10 records, 2 tags, 20 keys\n");

    op_.answers = {1};
    ordena();
    EXPECT_EQ(tagNames("datos/cliente.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    expectSound("datos/cliente.dbf", "ok: 12 records, 2 tags, 24 keys\n");
}

TEST_F(MaintenanceTest, TableInUseElsewhereIsSkipped) {
    fillWithDeletedRecords();
    OtherStation other([&](OtherStation& s) {
        auto a = WorkArea::open(path("datos/concfac.dbf"), "", true, false);
        if (!a) return 2;
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());
    auto before = snapshot();
    op_.answers = {1};
    ordena();

    ASSERT_EQ(op_.shown.size(), 10u);
    EXPECT_EQ(progressTexts(), maintenanceTexts("CONCFAC"));
    EXPECT_EQ(op_.shown[4].what, "stop");
    EXPECT_EQ(op_.shown[4].text,
              "La base de datos: CONCFAC.DBF, no puede ser procesada\r\n"
              "llame a su asesor de Informatica...");
    EXPECT_EQ(op_.shown[4].title, oApp().cEmpresa);
    EXPECT_TRUE(isAlert(op_.shown[9])) << op_.shown[9].what;
    EXPECT_EQ(op_.shown[9].text, "Mantenimiento Finalizado...");
    EXPECT_TRUE(dialogs_.empty());

    // The table in use keeps its records and its index file; the others were done.
    auto after = snapshot();
    EXPECT_EQ(after["datos/concfac.dbf"], before["datos/concfac.dbf"]);
    EXPECT_EQ(after["datos/concfac.cdx"], before["datos/concfac.cdx"]);
    EXPECT_EQ(column("datos/cliente.dbf", "ID").size(), 11u);
    EXPECT_EQ(column("datos/articulo.dbf", "ID").size(), 9u);
    other.release();
    EXPECT_EQ(other.join(), 0);
    expectSound("datos/concfac.dbf", "ok: 4 records, 2 tags, 8 keys\n");
    expectSound("datos/articulo.dbf", "ok: 9 records, 2 tags, 18 keys\n");
}

// ---------------------------------------------------------------------------------------------
// A new installation

std::map<std::string, std::string> filesUnder(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            out[std::filesystem::relative(e.path(), dir).string()] =
                test::readBytes(e.path().string());
    return out;
}

TEST(Installation, DemoTablesAreSound) {
    test::TempDir dir;
    test::RunResult r = test::db({"init", dir.path(), "--demo"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::map<std::string, std::string> expected = {
        {"datos/cliente.dbf", "ok: 12 records, 2 tags, 24 keys\n"},
        {"datos/articulo.dbf", "ok: 10 records, 2 tags, 20 keys\n"},
        {"datos/concfac.dbf", "ok: 4 records, 2 tags, 8 keys\n"},
        {"datos/facturas.dbf", "ok: 0 records, 2 tags, 0 keys\n"},
        {"datos/det_fact.dbf", "ok: 0 records, 1 tags, 0 keys\n"},
        {"datos/pos_fac.dbf", "ok: 23 records, 0 tags, 0 keys\n"},
        {"config/cfg.dbf", "ok: 0 records, 1 tags, 0 keys\n"},
    };
    for (const auto& [rel, summary] : expected) {
        test::RunResult c = test::db({"check", dir.file(rel)});
        EXPECT_EQ(c.status, 0) << rel << ": " << c.out << c.err;
        EXPECT_EQ(c.out, summary) << rel;
    }
    EXPECT_EQ(filesUnder(dir.path()).size(), 13u);  // seven tables, six indexes, nothing else

    // The demo texts are stored in the program's code page.
    DbfTable::OpenOptions o;
    o.readOnly = true;
    auto t = DbfTable::open(dir.file("datos/cliente.dbf"), o);
    ASSERT_TRUE(t);
    t->goTo(1);
    EXPECT_EQ(t->get("NOMBRE").text().substr(0, 18), fromUtf8("Público en General"));
}

TEST(Installation, TablesHaveTheFixedFieldsFirstAndWidths) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(initInstallation(dir.path(), false, &error)) << error;
    auto fieldOf = [&](const std::string& rel, const std::string& name) -> FieldInfo {
        DbfTable::OpenOptions o;
        o.readOnly = true;
        auto t = DbfTable::open(dir.file(rel), o);
        EXPECT_TRUE(t) << rel;
        if (!t) return {};
        int i = t->fieldIndex(name);
        EXPECT_GE(i, 0) << rel << " " << name;
        return i < 0 ? FieldInfo{} : t->field(size_t(i));
    };
    struct Want {
        const char *table, *field;
        char type;
        int len;
    };
    const Want fixed[] = {
        {"datos/cliente.dbf", "ID", 'C', 4},         {"datos/cliente.dbf", "CP", 'C', 5},
        {"datos/cliente.dbf", "RFC", 'C', 14},       {"datos/articulo.dbf", "ID", 'C', 6},
        {"datos/articulo.dbf", "IDCONCFACT", 'C', 4}, {"datos/concfac.dbf", "ID", 'C', 4},
        {"datos/facturas.dbf", "NUMERO", 'C', 10},   {"datos/facturas.dbf", "FECHA", 'D', 8},
        {"datos/facturas.dbf", "IDCLIENTE", 'C', 4}, {"datos/facturas.dbf", "COME1", 'C', 50},
        {"datos/facturas.dbf", "COME2", 'C', 50},    {"datos/facturas.dbf", "HORA", 'C', 8},
        {"datos/facturas.dbf", "HABITACION", 'C', 4}, {"datos/facturas.dbf", "CANCE", 'L', 1},
        {"datos/det_fact.dbf", "NUMERO", 'C', 10},   {"datos/det_fact.dbf", "IDARTICULO", 'C', 6},
        {"datos/det_fact.dbf", "CONCEPTO1", 'C', 70}, {"config/cfg.dbf", "TIPO", 'C', 1},
    };
    for (const Want& w : fixed) {
        FieldInfo f = fieldOf(w.table, w.field);
        EXPECT_EQ(f.type, w.type) << w.table << " " << w.field;
        EXPECT_EQ(f.len, w.len) << w.table << " " << w.field;
    }
    EXPECT_GE(fieldOf("config/cfg.dbf", "VALOR").len, 10);
    EXPECT_LE(fieldOf("datos/facturas.dbf", "PERSONAS").len, 3);
    // The code routines read the code as the first field.
    for (const char* rel : {"datos/cliente.dbf", "datos/articulo.dbf", "datos/concfac.dbf"})
        EXPECT_EQ(fieldOf(rel, "ID").offset, 1u) << rel;
    EXPECT_EQ(fieldOf("datos/facturas.dbf", "NUMERO").offset, 1u);
    // Without the demo the catalogues are empty; the print positions are always there.
    EXPECT_EQ(test::db({"check", dir.file("datos/cliente.dbf")}).out,
              "ok: 0 records, 2 tags, 0 keys\n");
    EXPECT_EQ(test::db({"check", dir.file("datos/pos_fac.dbf")}).out,
              "ok: 23 records, 0 tags, 0 keys\n");
}

TEST(Installation, InitRefusesToOverwrite) {
    test::TempDir dir;
    ASSERT_EQ(test::db({"init", dir.path(), "--demo"}).status, 0);
    auto before = filesUnder(dir.path());
    test::RunResult r = test::db({"init", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "wvestor-db: " + dir.file("datos/cliente.dbf") +
                         " exists already; nothing was changed\n");
    EXPECT_EQ(filesUnder(dir.path()), before);

    // One table left is enough to refuse; nothing is created beside it.
    std::filesystem::remove_all(dir.file("datos"));
    r = test::db({"init", dir.path(), "--demo"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "wvestor-db: " + dir.file("config/cfg.dbf") +
                         " exists already; nothing was changed\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("datos")));
    EXPECT_EQ(filesUnder(dir.path()).size(), 2u);

    EXPECT_NE(test::db({"init"}).status, 0);
    EXPECT_NE(test::db({"init", dir.path(), "--demos"}).status, 0);
}

}  // namespace
}  // namespace wv
