// Index rebuilding, the maintenance command and the laying out of a new installation.
#include <gtest/gtest.h>

#include <algorithm>
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

// The progress texts of the maintenance command, in order, leaving out the given table: each
// table's pack, then its tags.
std::vector<std::string> maintenanceTexts(const std::string& without = "") {
    std::vector<std::string> out;
    auto pack = [&](const char* table) {
        if (without != table)
            out.push_back(std::string("COMPACTANDO: .\\DATOS\\") + table + ".DBF");
    };
    auto box = [&](const char* table, const char* tag, const char* key) {
        if (without != table)
            out.push_back(std::string("INDEXANDO: .\\DATOS\\") + table + ".DBF EN: " + tag +
                          " CON LLAVE: " + key);
    };
    pack("FACTURAS");
    box("FACTURAS", "numero", "numero");
    box("FACTURAS", "fecha", "dtos(fecha)");
    pack("DET_FACT");
    box("DET_FACT", "numero", "numero");
    pack("CONCFAC");
    box("CONCFAC", "id", "id");
    box("CONCFAC", "nombre", "nombre");
    pack("CLIENTE");
    box("CLIENTE", "id", "id");
    box("CLIENTE", "nombre", "nombre");
    pack("ARTICULO");
    box("ARTICULO", "id", "id");
    box("ARTICULO", "nombre", "nombre");
    return out;
}

// The closing stop box of a maintenance that left the given lines' tables as they were.
std::string notCompleted(const std::string& lines, bool logged = false) {
    return fromUtf8("El mantenimiento no se completó:\r\n") + fromUtf8(lines) +
           fromUtf8("\r\nEstas tablas quedaron como estaban; las demás ya están al día.") +
           (logged ? fromUtf8("\r\nEl detalle de los errores quedó en el archivo Error.log.")
                   : std::string());
}

// The texts without the ones given.
std::vector<std::string> leaveOut(std::vector<std::string> texts,
                                  const std::vector<std::string>& drop) {
    for (const std::string& d : drop) {
        auto it = std::find(texts.begin(), texts.end(), d);
        EXPECT_NE(it, texts.end()) << d;
        if (it != texts.end()) texts.erase(it);
    }
    return texts;
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

    ASSERT_EQ(op_.shown.size(), 16u);
    EXPECT_EQ(op_.shown[0].what, "yesno");
    EXPECT_EQ(progressTexts(), maintenanceTexts());
    for (size_t i = 1; i < 15; ++i) EXPECT_EQ(op_.shown[i].title, oApp().cEmpresa);
    EXPECT_TRUE(isAlert(op_.shown[15])) << op_.shown[15].what;
    EXPECT_EQ(op_.shown[15].text, "Mantenimiento Finalizado...");
    EXPECT_EQ(op_.shown[15].title, oApp().cEmpresa);
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

    // The progress bar follows the records and ends at the count: the pack's at the records it
    // read, the tags' at the records kept.
    ASSERT_EQ(op_.positions.size(), 14u);
    EXPECT_EQ(op_.positions[0], (std::vector<uint32_t>{0, 1, 2, 3, 3}));  // facturas' pack
    EXPECT_EQ(op_.positions[1].back(), 2u);  // facturas after the pack
    EXPECT_EQ(op_.positions[8].back(), 12u);  // cliente's pack
    EXPECT_EQ(op_.positions[9].back(), 11u);  // cliente after the pack
}

TEST_F(MaintenanceTest, EmptyTableGetsItsTagsAndTheProgressEndsAtZero) {
    op_.answers = {1};
    ordena();
    ASSERT_EQ(op_.positions.size(), 14u);
    for (size_t box : {0, 1, 2, 3, 4}) {  // facturas and det_fact are empty
        ASSERT_FALSE(op_.positions[box].empty()) << box;
        EXPECT_EQ(op_.positions[box].back(), 0u) << box;
        for (uint32_t p : op_.positions[box]) EXPECT_EQ(p, 0u) << box;
    }
    EXPECT_EQ(tagNames("datos/facturas.dbf"), (std::vector<std::string>{"NUMERO", "FECHA"}));
    EXPECT_EQ(tagNames("datos/det_fact.dbf"), std::vector<std::string>{"NUMERO"});
    expectSound("datos/facturas.dbf", "ok: 0 records, 2 tags, 0 keys\n");
    expectSound("datos/det_fact.dbf", "ok: 0 records, 1 tags, 0 keys\n");
    EXPECT_EQ(op_.positions[6].back(), 4u);  // concfac
}

TEST_F(MaintenanceTest, ProgressTextNamesTheFileAsPassed) {
    // An extension given is not doubled; keys and names are trimmed; the default directory.
    EXPECT_TRUE(fIndexar("concfac.dbf", {{"  id ", "id"}, {"nombre", "nombre"}}, false,
                         ".\\datos\\")
                    .ok());
    EXPECT_TRUE(fIndexar("datos\\cliente", {{"id", "id"}}).ok());
    EXPECT_EQ(progressTexts(),
              (std::vector<std::string>{
                  "COMPACTANDO: .\\DATOS\\CONCFAC.DBF",
                  "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: id CON LLAVE: id",
                  "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: nombre CON LLAVE: nombre",
                  "COMPACTANDO: .\\DATOS\\CLIENTE.DBF",
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

// A maintenance run whose operator presses Cancelar in the named box at the given position; the
// texts of the progress boxes shown.
std::vector<std::string> cancelledRun(CancellingOperator& op, const std::string& box, uint32_t at) {
    op.onUnexpected = [](const ScriptedOperator::Shown& s) {
        if (s.what != "alertbox") ADD_FAILURE() << s.text;
    };
    op.cancelIn = box;
    op.at = at;
    op.answers = {1};
    {
        ScriptedOperator::Scope scope(op);
        ordena();
    }
    std::vector<std::string> texts;
    for (const auto& s : op.shown)
        if (s.what == "progress") texts.push_back(s.text);
    return texts;
}

TEST_F(MaintenanceTest, CancelledTagGivesUpItsWholeTableAndTheNextMaintenanceDoesIt) {
    fillWithDeletedRecords();
    auto before = snapshot();
    CancellingOperator op;
    std::vector<std::string> texts =
        cancelledRun(op, "INDEXANDO: .\\DATOS\\CLIENTE.DBF EN: id CON LLAVE: id", 5);
    // The tag after the cancelled one was not built; the next table was done.
    EXPECT_EQ(texts, leaveOut(maintenanceTexts(),
                              {"INDEXANDO: .\\DATOS\\CLIENTE.DBF EN: nombre CON LLAVE: nombre"}));
    ASSERT_FALSE(op.shown.empty());
    EXPECT_EQ(op.shown.back().what, "stop");
    EXPECT_EQ(op.shown.back().text, notCompleted("  CLIENTE.DBF: cancelado por el usuario\r\n"));
    EXPECT_EQ(op.shown.back().title, oApp().cEmpresa);

    // The cancelled box stopped building at the record where it was cancelled.
    ASSERT_EQ(op.positions.size(), 13u);
    const std::vector<uint32_t>& cancelled = op.positions[9];
    ASSERT_FALSE(cancelled.empty());
    EXPECT_EQ(cancelled.back(), 5u) << ::testing::PrintToString(cancelled);

    // cliente is as it was: not packed, its old index with its tags in their places.
    auto after = snapshot();
    EXPECT_EQ(after["datos/cliente.dbf"], before["datos/cliente.dbf"]);
    EXPECT_EQ(after["datos/cliente.cdx"], before["datos/cliente.cdx"]);
    EXPECT_EQ(tagNames("datos/cliente.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    EXPECT_EQ(column("datos/cliente.dbf", "ID")[2], "*0003");
    EXPECT_EQ(column("datos/articulo.dbf", "ID").size(), 9u);
    expectSound("datos/articulo.dbf", "ok: 9 records, 2 tags, 18 keys\n");

    op_.answers = {1};
    ordena();
    EXPECT_EQ(op_.shown.back().text, "Mantenimiento Finalizado...");
    EXPECT_EQ(column("datos/cliente.dbf", "ID").size(), 11u);
    expectSound("datos/cliente.dbf", "ok: 11 records, 2 tags, 22 keys\n");
}

TEST_F(MaintenanceTest, CancelDuringThePackLetsItEndAndGivesUpTheTable) {
    fillWithDeletedRecords();
    auto before = snapshot();
    CancellingOperator op;
    std::vector<std::string> texts = cancelledRun(op, "COMPACTANDO: .\\DATOS\\DET_FACT.DBF", 1);
    EXPECT_EQ(texts, leaveOut(maintenanceTexts(),
                              {"INDEXANDO: .\\DATOS\\DET_FACT.DBF EN: numero CON LLAVE: numero"}));
    // The pack cannot stop half way: it went through every record before the table was given up.
    ASSERT_EQ(op.positions.size(), 13u);
    EXPECT_EQ(op.positions[3], (std::vector<uint32_t>{0, 1, 2, 3, 4, 4}));
    ASSERT_FALSE(op.shown.empty());
    EXPECT_EQ(op.shown.back().text, notCompleted("  DET_FACT.DBF: cancelado por el usuario\r\n"));

    auto after = snapshot();
    EXPECT_EQ(after["datos/det_fact.dbf"], before["datos/det_fact.dbf"]);
    EXPECT_EQ(after["datos/det_fact.cdx"], before["datos/det_fact.cdx"]);
    EXPECT_EQ(column("datos/det_fact.dbf", "CONCEPTO1"),
              (std::vector<std::string>{"uno", "*dos", "*tres", "cuatro"}));
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO"),
              (std::vector<std::string>{"0000000003", "0000000002"}));
}

TEST_F(MaintenanceTest, TableInUseElsewhereIsSkippedAndNamed) {
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

    ASSERT_EQ(op_.shown.size(), 14u);
    EXPECT_EQ(progressTexts(), maintenanceTexts("CONCFAC"));
    EXPECT_EQ(op_.shown[6].what, "stop");
    EXPECT_EQ(op_.shown[6].text,
              "La base de datos: CONCFAC.DBF, no puede ser procesada\r\n"
              "llame a su asesor de Informatica...");
    EXPECT_EQ(op_.shown[6].title, oApp().cEmpresa);
    EXPECT_EQ(op_.shown[13].what, "stop");
    EXPECT_EQ(op_.shown[13].text, notCompleted("  CONCFAC.DBF: en uso por otra estación\r\n"));
    EXPECT_EQ(op_.shown[13].title, oApp().cEmpresa);
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

// A step whose new file cannot be made fails: a directory stands where the file would go.
TEST_F(MaintenanceTest, FailedPackOrTagLeavesItsTableAsItWasAndIsNamed) {
    fillWithDeletedRecords();
    ASSERT_TRUE(std::filesystem::create_directory(path("datos/det_fact.dbf.wvnew")));
    ASSERT_TRUE(std::filesystem::create_directory(path("datos/cliente.cdx.wvnew")));
    auto before = snapshot();
    op_.answers = {1};
    ordena();

    // det_fact's pack failed, so none of its tags was tried; cliente was packed, then its first
    // tag failed and the second was not tried.
    EXPECT_EQ(progressTexts(),
              leaveOut(maintenanceTexts(),
                       {"INDEXANDO: .\\DATOS\\DET_FACT.DBF EN: numero CON LLAVE: numero",
                        "INDEXANDO: .\\DATOS\\CLIENTE.DBF EN: nombre CON LLAVE: nombre"}));
    ASSERT_FALSE(op_.shown.empty());
    EXPECT_EQ(op_.shown.back().what, "stop");
    EXPECT_EQ(op_.shown.back().text,
              notCompleted("  DET_FACT.DBF: error al compactar\r\n"
                           "  CLIENTE.DBF: error al indexar\r\n",
                           true));
    // Told once at the end, not by the error dialog; the details are kept for the adviser.
    EXPECT_TRUE(dialogs_.empty());
    EXPECT_TRUE(std::filesystem::exists(path("Error.log")));

    // Both keep their records, deleted ones included, and their indexes as they were: cliente's
    // pack went with the failed tag.
    auto after = snapshot();
    for (const char* rel :
         {"datos/det_fact.dbf", "datos/det_fact.cdx", "datos/cliente.dbf", "datos/cliente.cdx"})
        EXPECT_EQ(after[rel], before[rel]) << rel;
    EXPECT_EQ(column("datos/det_fact.dbf", "CONCEPTO1"),
              (std::vector<std::string>{"uno", "*dos", "*tres", "cuatro"}));
    EXPECT_FALSE(std::filesystem::exists(path("datos/det_fact.wvswap")));
    EXPECT_FALSE(std::filesystem::exists(path("datos/cliente.wvswap")));
    EXPECT_FALSE(std::filesystem::exists(path("datos/cliente.dbf.wvnew")));
    EXPECT_EQ(column("datos/facturas.dbf", "NUMERO").size(), 2u);
    EXPECT_EQ(column("datos/concfac.dbf", "ID").size(), 3u);
    EXPECT_EQ(column("datos/articulo.dbf", "ID").size(), 9u);
    expectSound("datos/cliente.dbf", "ok: 12 records, 2 tags, 24 keys\n");
}

TEST_F(MaintenanceTest, AfterARunEachTableHasItsFirstTagFirstAndNothingElseIsLeft) {
    // concfac's index with its tags the other way round and one of its own after them.
    std::filesystem::remove(path("datos/concfac.cdx"));
    withTable("datos/concfac.dbf", [](WorkArea& a) {
        ASSERT_TRUE(a.createTag({"NOMBRE", "nombre", "", false, false, false}));
        ASSERT_TRUE(a.createTag({"ID", "id", "", false, false, false}));
        ASSERT_TRUE(a.createTag({"EXTRA", "nombre+id", "", false, false, false}));
    });
    ASSERT_EQ(tagNames("datos/concfac.dbf"), (std::vector<std::string>{"NOMBRE", "ID", "EXTRA"}));
    fillWithDeletedRecords();
    op_.answers = {1};
    ordena();
    ASSERT_FALSE(op_.shown.empty());
    EXPECT_EQ(op_.shown.back().text, "Mantenimiento Finalizado...");

    for (const auto& [table, tags] : maintenanceSet()) {
        std::vector<std::string> names = tagNames("datos/" + table + ".dbf");
        ASSERT_EQ(names.size(), tags.size()) << table;
        for (size_t i = 0; i < tags.size(); ++i)
            EXPECT_EQ(names[i], upperCase(tags[i].name)) << table << " " << i;
    }
    expectSound("datos/concfac.dbf", "ok: 3 records, 2 tags, 6 keys\n");
    for (const auto& e : std::filesystem::directory_iterator(path("datos"))) {
        std::string ext = lowerCase(e.path().extension().string());
        EXPECT_TRUE(e.is_regular_file() && (ext == ".dbf" || ext == ".cdx" || ext == ".fpt"))
            << e.path();
    }
}

TEST_F(MaintenanceTest, OpenCatalogueCancelledTagStaysAndIsNamed) {
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    CancellingOperator op;
    op.cancelIn = "INDEXANDO: .\\DATOS\\CONCFAC.DBF EN: id CON LLAVE: id";
    op.at = 2;
    IndexResult r;
    {
        ScriptedOperator::Scope scope(op);
        r = fIndexar("CONCFAC", {{"id", "id"}, {"nombre", "nombre"}}, true, ".\\DATOS\\",
                     "Conc. Facturacion");
    }
    EXPECT_EQ(r.outcome, IndexOutcome::Cancelled);
    EXPECT_EQ(r.tag, "ID");
    // No completion notice, and no box for the tag after it.
    ASSERT_EQ(op.shown.size(), 2u);
    EXPECT_EQ(op.shown[1].what, "stop");
    EXPECT_EQ(op.shown[1].text,
              fromUtf8("El mantenimiento a: CONC. FACTURACION\r\n"
                       " En: .\\datos\\concfac.dbf, no se completó:\r\n"
                       " el índice ID no se reconstruyó (cancelado por el usuario); éste y los que "
                       "siguen quedaron como estaban."));
    EXPECT_EQ(op.shown[1].title, oApp().cEmpresa);

    // Both tags where they were, the cancelled one whole.
    ASSERT_EQ(workspace().area(), a);
    workspace().closeAll();
    EXPECT_EQ(tagNames("datos/concfac.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    expectSound("datos/concfac.dbf", "ok: 4 records, 2 tags, 8 keys\n");
}

// ---------------------------------------------------------------------------------------------
// Opening a table whose index does not hold the application's tags first

class IndexCheckTest : public MaintenanceTest {
protected:
    // A new structural index with these tags, in this order.
    void indexAs(const std::string& rel, const std::vector<std::string>& keys) {
        std::filesystem::path cdx = path(rel);
        std::filesystem::remove(cdx.replace_extension(".cdx"));
        withTable(rel, [&](WorkArea& a) {
            for (const std::string& k : keys)
                ASSERT_TRUE(a.createTag({upperCase(k), k, "", false, false, false})) << k;
        });
    }

    std::string rebuiltNotice(const std::string& table, const std::string& why) {
        return fromUtf8("Se reconstruyó el índice de " + table + " (" + why + ").");
    }
};

TEST_F(IndexCheckTest, TagsOutOfOrderAreRebuiltWhenAloneAndRefusedWhileShared) {
    indexAs("datos/concfac.dbf", {"nombre", "id"});
    withTable("datos/concfac.dbf", [](WorkArea& a) {
        a.goTo(2);
        a.table().deleteRecord();
        a.table().flush();
    });
    auto before = snapshot();
    {
        // Another area has it open: it cannot be had alone, and no screen goes on with any table.
        auto other = WorkArea::open(path("datos/concfac.dbf"), "", true, false);
        ASSERT_TRUE(other);
        ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
        EXPECT_FALSE(netUse("concfac", false, "", ".\\datos\\"));
        ASSERT_EQ(op_.shown.size(), 1u);
        EXPECT_EQ(op_.shown[0].what, "stop");
        EXPECT_EQ(op_.shown[0].text,
                  fromUtf8("La base de datos: CONCFAC.DBF necesita mantenimiento: sus índices no "
                           "están completos.\r\nEjecute Utilerias > Mtto. Base Datos cuando nadie "
                           "esté usando el sistema."));
        EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
        EXPECT_EQ(fArea("CONCFAC"), 0);
        EXPECT_EQ(fArea("CLIENTE"), 0);
        EXPECT_TRUE(dialogs_.empty());
    }
    EXPECT_EQ(snapshot(), before);

    // Alone: the index is built again, the operator told once, and the table opened as asked.
    op_.shown.clear();
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "info");
    EXPECT_EQ(op_.shown[0].text,
              rebuiltNotice("CONCFAC.DBF", "estaba incompleto o fuera de orden"));
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    WorkArea* a = workspace().area();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->alias(), "CONCFAC");
    EXPECT_TRUE(a->table().shared());
    EXPECT_EQ(a->order(), 1);
    EXPECT_EQ(a->orderName(), "ID");
    workspace().closeAll();
    EXPECT_EQ(tagNames("datos/concfac.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    // Only the index: the record marked deleted is still there.
    EXPECT_EQ(column("datos/concfac.dbf", "ID"),
              (std::vector<std::string>{"0001", "*0002", "0003", "0004"}));
    expectSound("datos/concfac.dbf", "ok: 4 records, 2 tags, 8 keys\n");

    op_.shown.clear();
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(IndexCheckTest, MissingDamagedOrShortIndexIsRebuiltTagsAfterTheAppsAreLeftAlone) {
    std::filesystem::remove(path("datos/cliente.cdx"));
    indexAs("datos/articulo.dbf", {"id"});
    indexAs("datos/concfac.dbf", {"id", "nombre", "nombre+id"});
    // facturas' second tag spoilt in the file: its key expression can no longer be read.
    std::string cdx = test::readBytes(path("datos/facturas.cdx"));
    size_t at = cdx.find("dtos(fecha)");
    ASSERT_NE(at, std::string::npos);
    cdx[at] = 'x';
    test::writeBytes(path("datos/facturas.cdx"), cdx);
    auto before = snapshot();

    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_EQ(workspace().area()->orderName(), "ID");
    workspace().closeAll();
    EXPECT_EQ(snapshot()["datos/concfac.cdx"], before["datos/concfac.cdx"]);

    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    EXPECT_EQ(workspace().area()->orderName(), "ID");
    ASSERT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    EXPECT_EQ(workspace().area()->orderName(), "NUMERO");
    // Asked for alone, it is rebuilt where it stands and stays alone.
    ASSERT_TRUE(netUse("articulo", true, "", ".\\datos\\"));
    EXPECT_FALSE(workspace().area()->table().shared());
    EXPECT_EQ(workspace().area()->orderName(), "ID");
    EXPECT_NE(fArea("CLIENTE"), 0);
    std::vector<std::string> notices;
    for (const auto& s : op_.shown) notices.push_back(s.what + ": " + s.text);
    EXPECT_EQ(notices, (std::vector<std::string>{
                           "info: " + rebuiltNotice("CLIENTE.DBF", "no existía"),
                           "info: " + rebuiltNotice("FACTURAS.DBF", "estaba dañado"),
                           "info: " + rebuiltNotice("ARTICULO.DBF",
                                                    "estaba incompleto o fuera de orden"),
                       }));
    EXPECT_TRUE(dialogs_.empty());
    workspace().closeAll();
    EXPECT_EQ(tagNames("datos/cliente.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    EXPECT_EQ(tagNames("datos/articulo.dbf"), (std::vector<std::string>{"ID", "NOMBRE"}));
    EXPECT_EQ(tagNames("datos/facturas.dbf"), (std::vector<std::string>{"NUMERO", "FECHA"}));
    expectSound("datos/cliente.dbf", "ok: 12 records, 2 tags, 24 keys\n");
    expectSound("datos/articulo.dbf", "ok: 10 records, 2 tags, 20 keys\n");
    expectSound("datos/facturas.dbf", "ok: 0 records, 2 tags, 0 keys\n");
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
        {"datos/fac_ocas.dbf", "ok: 0 records, 1 tags, 0 keys\n"},
        {"config/cfg.dbf", "ok: 0 records, 1 tags, 0 keys\n"},
    };
    for (const auto& [rel, summary] : expected) {
        test::RunResult c = test::db({"check", dir.file(rel)});
        EXPECT_EQ(c.status, 0) << rel << ": " << c.out << c.err;
        EXPECT_EQ(c.out, summary) << rel;
    }
    EXPECT_EQ(filesUnder(dir.path()).size(), 15u);  // eight tables, seven indexes, nothing else

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
