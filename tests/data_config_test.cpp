// The configuration store: typed settings read and written through "config\cfg.dbf".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "data/application.h"
#include "data/config.h"
#include "data/netuse.h"
#include "data/workarea.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "storage/platform.h"
#include "tests/data_fixture.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using test::InstallationTest;
using test::OtherStation;

const char kNoTable[] =
    "No existe el archivo de configuracion del Sistema, consulte a su asesor...";
const char kCfgHeld[] = "La base de datos: CFG.DBF, no puede ser procesada\r\n"
                        "llame a su asesor de Informatica...";

class ConfigTest : public InstallationTest {
protected:
    void addSetting(const std::string& variable, const std::string& tipo, const std::string& valor,
                    bool deleted = false) {
        withTable("config/cfg.dbf", [&](WorkArea& a) {
            addRow(a, {{"VARIABLE", Value(variable)}, {"TIPO", Value(tipo)}, {"VALOR", Value(valor)}},
                   deleted);
        });
    }
    // Every record as "VARIABLE|TIPO|VALOR" with the blanks of VALOR kept up to its last
    // non-blank.
    std::vector<std::string> records() {
        std::vector<std::string> v = column("config/cfg.dbf", "VARIABLE"),
                                 t = column("config/cfg.dbf", "TIPO"),
                                 x = column("config/cfg.dbf", "VALOR");
        std::vector<std::string> out;
        for (size_t i = 0; i < v.size(); ++i) out.push_back(v[i] + "|" + t[i] + "|" + x[i]);
        return out;
    }
    std::vector<std::string> configFiles() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir_.file("config")))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(ConfigTest, WithoutTheTableReadsGiveTheDefaultAndWritesStop) {
    std::filesystem::remove(path("config/cfg.dbf"));
    Value v = getCfg("CFACTURA", Value("0000000000"));
    ASSERT_TRUE(v.isText());
    EXPECT_EQ(v.text(), "0000000000");
    Value b = getCfg("ACTIVO", Value(true));
    ASSERT_TRUE(b.isLogical());
    EXPECT_TRUE(b.logical());
    EXPECT_TRUE(op_.shown.empty());

    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000001")), std::nullopt);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, kNoTable);
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_EQ(configFiles(), std::vector<std::string>{"cfg.cdx"});
    EXPECT_EQ(fArea("CFG"), 0);
}

TEST_F(ConfigTest, TextReadsInCapitalsWithoutSurroundingBlanks) {
    addSetting("EMPRESA", "C", "  hotel las palmas  ");
    addSetting("MINUS", "c", " posada ");
    addSetting("LARGO", "M", "texto largo");
    addSetting("LARGOMIN", "m", "texto");
    addSetting("RARO", "X", "algo");
    addSetting("VACIO", "C", "");
    EXPECT_EQ(getCfg("EMPRESA", Value("")).text(), "HOTEL LAS PALMAS");
    EXPECT_EQ(getCfg("MINUS", Value("")).text(), "POSADA");
    EXPECT_EQ(getCfg("LARGO", Value("")).text(), "TEXTO LARGO");
    // Unknown type letters read as absent.
    EXPECT_EQ(getCfg("LARGOMIN", Value("def")).text(), "def");
    EXPECT_EQ(getCfg("RARO", Value("def")).text(), "def");
    Value empty = getCfg("VACIO", Value("def"));
    ASSERT_TRUE(empty.isText());
    EXPECT_EQ(empty.text(), "");
    EXPECT_EQ(getCfg("NOHAY", Value("def")).text(), "def");
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(ConfigTest, LogicalIsTrueOnlyForCapitalS) {
    addSetting("L1", "L", "S");
    addSetting("L2", "L", "  S ");
    addSetting("L3", "l", "S");
    addSetting("L4", "L", "N");
    addSetting("L5", "L", "s");
    addSetting("L6", "L", "");
    addSetting("L7", "L", "SI");
    for (const char* name : {"L1", "L2", "L3"}) {
        Value v = getCfg(name, Value(false));
        ASSERT_TRUE(v.isLogical()) << name;
        EXPECT_TRUE(v.logical()) << name;
    }
    for (const char* name : {"L4", "L5", "L6", "L7"}) {
        Value v = getCfg(name, Value(true));
        ASSERT_TRUE(v.isLogical()) << name;
        EXPECT_FALSE(v.logical()) << name;
    }
    EXPECT_EQ(lSaveCfg("ACTIVO", Value(true), "L"), false);
    EXPECT_EQ(lSaveCfg("INACTIVO", Value(false), "l"), false);
    EXPECT_TRUE(getCfg("ACTIVO", Value(false)).logical());
    EXPECT_FALSE(getCfg("INACTIVO", Value(true)).logical());
    std::vector<std::string> r = records();
    ASSERT_EQ(r.size(), 9u);
    EXPECT_EQ(r[7], "ACTIVO|L|S");
    EXPECT_EQ(r[8], "INACTIVO|l|N");
}

TEST_F(ConfigTest, DatesRoundTripInTheProcessFormat) {
    Date d = dateFromYmd(2005, 3, 15);
    EXPECT_EQ(lSaveCfg("FECHAULT", Value(d), "D"), false);
    EXPECT_EQ(records(), std::vector<std::string>{"FECHAULT|D|15/03/05"});
    Value v = getCfg("FECHAULT", Value());
    ASSERT_TRUE(v.isDate());
    EXPECT_EQ(v.date(), d);

    addSetting("F2", "D", "");
    addSetting("F3", "D", "31/02/05");
    addSetting("F4", "d", "01/01/99");
    for (const char* name : {"F2", "F3"}) {
        Value e = getCfg(name, Value(d));
        ASSERT_TRUE(e.isDate()) << name;
        EXPECT_TRUE(e.date().empty()) << name;
    }
    EXPECT_EQ(getCfg("F4", Value()).date(), dateFromYmd(1999, 1, 1));

    // An update writes the new date over the old one.
    EXPECT_EQ(lSaveCfg("FECHAULT", Value(dateFromYmd(2008, 5, 19)), "D"), true);
    EXPECT_EQ(getCfg("FECHAULT", Value()).date(), dateFromYmd(2008, 5, 19));
}

TEST_F(ConfigTest, NumbersRoundTripRightAligned) {
    EXPECT_EQ(lSaveCfg("COPIAS", Value::number(3), "N"), false);
    EXPECT_EQ(records(), std::vector<std::string>{"COPIAS|N|         3"});
    Value v = getCfg("COPIAS", Value());
    ASSERT_TRUE(v.isNumber());
    EXPECT_EQ(v.num(), 3);

    EXPECT_EQ(lSaveCfg("TASA", Value::number(1234.56, 2), "n"), false);
    EXPECT_DOUBLE_EQ(getCfg("TASA", Value()).num(), 1234.56);

    addSetting("N3", "N", "  42  ");
    EXPECT_EQ(getCfg("N3", Value()).num(), 42);
}

TEST_F(ConfigTest, NewSettingIsAddedThenUpdated) {
    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000123")), false);
    EXPECT_EQ(records(), std::vector<std::string>{"CFACTURA|C|0000000123"});
    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000124")), true);
    EXPECT_EQ(records(), std::vector<std::string>{"CFACTURA|C|0000000124"});
    EXPECT_EQ(getCfg("CFACTURA", Value("0000000000")).text(), "0000000124");
    EXPECT_TRUE(op_.shown.empty());
    // Nothing stays open or locked.
    EXPECT_EQ(fArea("CFG"), 0);
    OtherStation other([&](OtherStation&) {
        auto a = WorkArea::open(path("config/cfg.dbf"), "", true, false);
        if (!a) return 2;
        a->goTo(1);
        return a->table().rlock() ? 0 : 3;
    });
    EXPECT_EQ(other.join(), 0);
}

TEST_F(ConfigTest, StoredTypeDecidesHowAnUpdateIsWritten) {
    addSetting("COPIAS", "N", "         2");
    addSetting("EMPRESA", "c", "vieja");
    EXPECT_EQ(lSaveCfg("COPIAS", Value::number(5), "C"), true);
    EXPECT_EQ(lSaveCfg("EMPRESA", Value("Nueva Posada "), "N"), true);
    EXPECT_EQ(records(), (std::vector<std::string>{"COPIAS|N|         5", "EMPRESA|c|Nueva Posada"}));
}

TEST_F(ConfigTest, LowerCaseNameIsNeverFound) {
    EXPECT_EQ(lSaveCfg("cfactura", Value("0000000001")), false);
    EXPECT_EQ(lSaveCfg("cfactura", Value("0000000002")), false);
    EXPECT_EQ(records(), (std::vector<std::string>{"CFACTURA|C|0000000001",
                                                   "CFACTURA|C|0000000002"}));
    EXPECT_EQ(getCfg("cfactura", Value("x")).text(), "x");
    // Seeks find the first of equal names in index order.
    EXPECT_EQ(getCfg("CFACTURA", Value("x")).text(), "0000000001");
}

TEST_F(ConfigTest, MissingIndexIsRebuiltBeforeTheRead) {
    addSetting("VIEJO", "C", "borrado", true);
    addSetting("CFACTURA", "C", "0000000007");
    std::filesystem::remove(path("config/cfg.cdx"));
    EXPECT_EQ(getCfg("CFACTURA", Value("0000000000")).text(), "0000000007");
    // The pack under its own box, then the tag.
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[0].what, "progress");
    EXPECT_EQ(op_.shown[0].text, "COMPACTANDO: CONFIG\\CFG.DBF");
    EXPECT_EQ(op_.shown[1].what, "progress");
    EXPECT_EQ(op_.shown[1].text, "INDEXANDO: CONFIG\\CFG.DBF EN: VARIABLE CON LLAVE: VARIABLE");
    EXPECT_EQ(op_.shown[1].title, oApp().cEmpresa);
    // Rebuilding packs the table too.
    EXPECT_EQ(records(), std::vector<std::string>{"CFACTURA|C|0000000007"});
    EXPECT_EQ(tagNames("config/cfg.dbf"), std::vector<std::string>{"VARIABLE"});
    EXPECT_EQ(configFiles(), (std::vector<std::string>{"cfg.cdx", "cfg.dbf"}));
    test::RunResult r = test::db({"check", path("config/cfg.dbf")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;

    // The same before a write.
    for (const std::string& f : configFiles())
        if (f.size() > 4 && f.substr(f.size() - 4) != ".dbf") std::filesystem::remove(path("config/" + f));
    ASSERT_EQ(configFiles(), std::vector<std::string>{"cfg.dbf"});
    op_.shown.clear();
    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000008")), true);
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[0].what, "progress");
    EXPECT_EQ(op_.shown[1].what, "progress");
    EXPECT_EQ(records(), std::vector<std::string>{"CFACTURA|C|0000000008"});
    r = test::db({"check", path("config/cfg.dbf")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST_F(ConfigTest, TableHeldElsewhereLeavesTheCallersTablesOpen) {
    OtherStation other([&](OtherStation& s) {
        DbfTable::OpenOptions o;
        o.shared = false;
        auto t = DbfTable::open(path("config/cfg.dbf"), o);
        if (!t) return 2;
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());
    ASSERT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    EXPECT_TRUE(getCfg("CFACTURA", Value("0000000000")).isNil());
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, kCfgHeld);
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_NE(fArea("FACTURAS"), 0) << "the caller's tables stay open";
    EXPECT_NE(fArea("CLIENTE"), 0);

    op_.shown.clear();
    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000001")), std::nullopt);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].text, kCfgHeld);
    EXPECT_NE(fArea("FACTURAS"), 0);
    EXPECT_TRUE(dialogs_.empty());
    other.release();
    EXPECT_EQ(other.join(), 0);
    EXPECT_TRUE(records().empty());
}

TEST_F(ConfigTest, CallsLeaveTheSelectedAreaAsTheyFoundIt) {
    addSetting("CFACTURA", "C", "0000000005");
    ASSERT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    int facturas = workspace().current();
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    workspace().select(facturas);
    EXPECT_EQ(getCfg("CFACTURA", Value("")).text(), "0000000005");
    EXPECT_EQ(workspace().current(), facturas);
    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000006")), true);
    EXPECT_EQ(workspace().current(), facturas);
    EXPECT_EQ(fArea("CFG"), 0);
    EXPECT_NE(fArea("CLIENTE"), 0);
    workspace().select(7);  // an empty area
    EXPECT_EQ(getCfg("CFACTURA", Value("")).text(), "0000000006");
    EXPECT_EQ(workspace().current(), 7);
}

TEST_F(ConfigTest, RefusedAppendStoresNothing) {
    addSetting("CFACTURA", "C", "0000000100");
    // The append lock of record 2 under the structural-index layout.
    const uint64_t offset = 0x7FFFFFFEULL - 2;
    OtherStation other([&](OtherStation& s) {
        int err = 0;
        auto f = os::File::open(path("config/cfg.dbf"), true, os::Share::Shared, &err);
        if (!f || !f->lock(offset, 1, true, false)) return 2;
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());
    std::string before = test::readBytes(path("config/cfg.dbf"));
    // ADD_REC(5): five seconds of retries; nothing stored is told as a failure.
    EXPECT_EQ(lSaveCfg("NUEVO", Value("valor")), std::nullopt);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, "No se pudo agregar el registro, vuelva a intentarlo...");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_TRUE(dialogs_.empty());
    EXPECT_EQ(test::readBytes(path("config/cfg.dbf")), before);
    EXPECT_EQ(fArea("CFG"), 0);
    other.release();
    EXPECT_EQ(other.join(), 0);
}

TEST_F(ConfigTest, RefusedLockStoresNothingAndSaysSo) {
    addSetting("CFACTURA", "C", "0000000100");
    OtherStation other([&](OtherStation& s) {
        auto a = WorkArea::open(path("config/cfg.dbf"), "", true, false);
        if (!a) return 2;
        a->goTo(1);
        if (!a->table().rlock()) return 3;
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());
    op_.answers = {0};
    // REC_LOCK(5): five seconds of waiting before the question.
    EXPECT_EQ(lSaveCfg("CFACTURA", Value("0000000200")), std::nullopt);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "yesno");
    EXPECT_EQ(op_.shown[0].text,
              "Ya se excedio el tiempo de espera del bloqueo, desea reintentar nuevamente ?");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_EQ(records(), (std::vector<std::string>{"CFACTURA|C|0000000100"}));
    EXPECT_EQ(getCfg("CFACTURA", Value("")).text(), "0000000100");
    other.release();
    EXPECT_EQ(other.join(), 0);
}

}  // namespace
}  // namespace wv
