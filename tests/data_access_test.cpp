// Shared table access: opening in work areas, the record-count repair, record locks and appends
// against another workstation, and the catalogue code routines.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "data/application.h"
#include "data/netuse.h"
#include "data/tables.h"
#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/error.h"
#include "runtime/operator.h"
#include "storage/dbf.h"
#include "storage/platform.h"
#include "tests/data_fixture.h"
#include "tests/test_support.h"

namespace wv {
namespace {

using test::InstallationTest;
using test::OtherStation;
using test::readBytes;
using test::secondsSince;
using test::writeBytes;
using Clock = std::chrono::steady_clock;

const char kHeldText[] = "La base de datos: FACTURAS.DBF, no puede ser procesada\r\n"
                         "llame a su asesor de Informatica...";
const char kLockQuestion[] =
    "Ya se excedio el tiempo de espera del bloqueo, desea reintentar nuevamente ?";
const char kAppendStop[] = "No se pudo agregar el registro, vuelva a intentarlo...";

class AccessTest : public InstallationTest {
protected:
    // concfac with the codes 0001, 0099 and 0050 in that record order.
    void fillConcepts() {
        withTable("datos/concfac.dbf", [](WorkArea& a) {
            addRow(a, {{"ID", Value("0001")}, {"NOMBRE", Value("Hospedaje")}});
            addRow(a, {{"ID", Value("0099")}, {"NOMBRE", Value("Alimentos")}});
            addRow(a, {{"ID", Value("0050")}, {"NOMBRE", Value("Zapatos")}});
        });
    }
};

// ---------------------------------------------------------------------------------------------
// NET_USE and FAREA

TEST_F(AccessTest, NetUseOpensUnderTheFileNameWithTheFirstTagInControl) {
    ASSERT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->alias(), "FACTURAS");
    EXPECT_EQ(a->order(), 1);
    EXPECT_EQ(a->orderName(), "NUMERO");
    EXPECT_TRUE(a->table().shared());
    int facturas = workspace().current();

    // The next table goes into a new area, which becomes current; the first stays open.
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    EXPECT_NE(workspace().current(), facturas);
    EXPECT_EQ(workspace().area()->alias(), "CLIENTE");
    EXPECT_EQ(workspace().area()->orderName(), "ID");
    EXPECT_NE(workspace().area(facturas), nullptr);

    // A given alias, an exclusive open, and the directory in front of the name.
    ASSERT_TRUE(netUse("articulo", true, "art", ".\\datos\\"));
    EXPECT_EQ(workspace().area()->alias(), "ART");
    EXPECT_FALSE(workspace().area()->table().shared());
    ASSERT_TRUE(netUse(".\\datos\\concfac"));
    EXPECT_EQ(workspace().area()->alias(), "CONCFAC");
    EXPECT_EQ(workspace().area()->orderName(), "ID");

    // A table without an index opens in record order.
    ASSERT_TRUE(netUse("pos_fac", false, "", ".\\datos\\"));
    EXPECT_EQ(workspace().area()->order(), 0);
    EXPECT_EQ(workspace().area()->recCount(), 23u);
    EXPECT_TRUE(op_.shown.empty());
}

TEST(DefaultAlias, NameAfterDirectoryOrDriveInCapitalsBeforeThePoint) {
    EXPECT_EQ(defaultAlias("facturas"), "FACTURAS");
    EXPECT_EQ(defaultAlias("Det_Fact.dbf"), "DET_FACT");
    EXPECT_EQ(defaultAlias(".\\datos\\cliente.dbf"), "CLIENTE");
    EXPECT_EQ(defaultAlias("c:articulo.dbf"), "ARTICULO");
    EXPECT_EQ(defaultAlias("c:\\datos\\x.y.dbf"), "X");
    // The last backslash wins over a colon.
    EXPECT_EQ(defaultAlias("c:datos\\concfac"), "CONCFAC");
}

TEST_F(AccessTest, FAreaFindsTheAliasIgnoringCase) {
    ASSERT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    int facturas = workspace().current();
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    int cliente = workspace().current();
    EXPECT_EQ(fArea("FACTURAS"), facturas);
    EXPECT_EQ(fArea("facturas"), facturas);
    EXPECT_EQ(fArea("Cliente"), cliente);
    EXPECT_EQ(fArea("ARTICULO"), 0);
    EXPECT_EQ(fArea(""), 0);
    workspace().closeArea(facturas);
    EXPECT_EQ(fArea("FACTURAS"), 0);
    EXPECT_EQ(fArea("CLIENTE"), cliente);
}

TEST_F(AccessTest, TableHeldExclusivelyByAnotherStationGivesOneStopBox) {
    OtherStation other([&](OtherStation& s) {
        DbfTable::OpenOptions o;
        o.shared = false;
        auto t = DbfTable::open(path("datos/facturas.dbf"), o);
        if (!t) return 2;
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());

    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    int cliente = workspace().current();
    EXPECT_FALSE(netUse("facturas", false, "", ".\\datos\\"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, kHeldText);
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_TRUE(dialogs_.empty());
    EXPECT_EQ(fArea("FACTURAS"), 0);
    EXPECT_NE(workspace().area(cliente), nullptr);  // the caller decides what to close

    // The name in the box is the one passed, in capitals.
    op_.shown.clear();
    EXPECT_FALSE(netUse("Facturas.dbf", true, "", ".\\datos\\"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].text,
              "La base de datos: FACTURAS.DBF.DBF, no puede ser procesada\r\n"
              "llame a su asesor de Informatica...");

    other.release();
    EXPECT_EQ(other.join(), 0);
    // Once the other station has let go, the same call succeeds.
    op_.shown.clear();
    EXPECT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(AccessTest, ExclusiveOpenOfATableInUseElsewhereFails) {
    OtherStation other([&](OtherStation& s) {
        auto a = WorkArea::open(path("datos/facturas.dbf"), "", true, false);
        if (!a) return 2;
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());
    EXPECT_FALSE(netUse("facturas", true, "", ".\\datos\\"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, kHeldText);
    EXPECT_TRUE(dialogs_.empty());
    // Shared use is still possible.
    EXPECT_TRUE(netUse("facturas", false, "", ".\\datos\\"));
    other.release();
    EXPECT_EQ(other.join(), 0);
}

TEST_F(AccessTest, MissingTableGoesToTheErrorDialogAndGivesFalse) {
    expectDialogs_ = true;
    EXPECT_FALSE(netUse("noexiste", false, "", ".\\datos\\"));
    ASSERT_EQ(dialogs_.size(), 1u);
    EXPECT_EQ(dialogs_[0].genCode, gen::kOpen);
    EXPECT_EQ(dialogs_[0].osCode, os::kNotFound);
    EXPECT_TRUE(op_.shown.empty());  // no stop box of its own
    EXPECT_EQ(fArea("NOEXISTE"), 0);
}

// ---------------------------------------------------------------------------------------------
// LOKDBF

class LokDbfTest : public AccessTest {
protected:
    void SetUp() override {
        AccessTest::SetUp();
        if (HasFatalFailure()) return;
        withTable("datos/facturas.dbf", [](WorkArea& a) {
            for (int i = 1; i <= 10; ++i) {
                char n[11];
                std::snprintf(n, sizeof n, "%010d", i);
                addRow(a, {{"NUMERO", Value(n)}});
            }
        });
        file_ = path("datos/facturas.dbf");
        std::string b = readBytes(file_);
        headerLen_ = uint8_t(b[8]) | uint8_t(b[9]) << 8;
        recordLen_ = uint8_t(b[10]) | uint8_t(b[11]) << 8;
        // Ten whole records and the end-of-file byte.
        ASSERT_EQ(b.size(), headerLen_ + 10 * recordLen_ + 1);
        ASSERT_EQ(b.back(), '\x1A');
        b[4] = 12;
        writeBytes(file_, b);
        before_ = b;
    }

    static uint32_t storedCount(const std::string& b) {
        return uint8_t(b[4]) | uint8_t(b[5]) << 8 | uint8_t(b[6]) << 16 | uint32_t(uint8_t(b[7])) << 24;
    }

    static std::string question(const std::string& file, const std::string& dir) {
        return fromUtf8("Número de registros incorrecto en Base de Datos ") + file + " en\r\n" +
               dir + " :\r\n\r\n"
               "   Registros iniciales  0000012\r\n"
               "   Registros detectados 0000010\r\n\r\n" +
               fromUtf8("Asegúrese de guardar la última copia de  seguridad y\r\n") +
               "realice una copia suplementaria ANTES DE corregir el\r\n"
               "problema.\r\n\r\n" +
               fromUtf8("¿ Desea corregir el problema ?");
    }

    std::string file_, before_;
    size_t headerLen_ = 0, recordLen_ = 0;
};

TEST_F(LokDbfTest, NoLeavesTheFileAsItWas) {
    op_.answers = {0};
    EXPECT_TRUE(lokDbf("facturas.dbf", ".\\datos"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "noyes");  // "No" is the default button
    EXPECT_EQ(op_.shown[0].title, "Error de apertura");
    EXPECT_EQ(op_.shown[0].text, question("facturas.dbf", ".\\datos"));
    EXPECT_EQ(readBytes(file_), before_);
}

TEST_F(LokDbfTest, YesWritesTheCountFoundAndOnlyThat) {
    op_.answers = {1};
    EXPECT_TRUE(lokDbf("facturas.dbf", ".\\datos"));
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[0].text, question("facturas.dbf", ".\\datos"));
    EXPECT_EQ(op_.shown[1].what, "info");
    EXPECT_EQ(op_.shown[1].title, "Aviso Importante");
    EXPECT_EQ(op_.shown[1].text,
              fromUtf8("El problema ha sido corregido.\r\n\r\nAntes de continuar el  uso normal "
                       "del programa\r\ndebe realizarse una \"Indexación de ficheros\"."));
    std::string after = readBytes(file_);
    EXPECT_EQ(storedCount(after), 10u);
    std::string expected = before_;
    expected[4] = 10;
    EXPECT_EQ(after, expected);

    // Now the counts agree: nothing is asked.
    op_.shown.clear();
    EXPECT_TRUE(lokDbf("facturas.dbf", ".\\datos"));
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(LokDbfTest, FileWithoutTheEndByteCountsWholeRecords) {
    writeBytes(file_, before_.substr(0, before_.size() - 1));
    op_.answers = {1};
    EXPECT_TRUE(lokDbf("facturas.dbf", ".\\datos"));
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[0].text, question("facturas.dbf", ".\\datos"));
    EXPECT_EQ(storedCount(readBytes(file_)), 10u);
}

TEST_F(LokDbfTest, DefaultDirectoryAndNameAsPassed) {
    // The directory defaults to ".\" and the file is opened as named, no extension added.
    op_.answers = {0};
    EXPECT_TRUE(lokDbf("datos\\facturas.dbf"));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].text, question("datos\\facturas.dbf", ".\\"));
    op_.shown.clear();
    EXPECT_TRUE(lokDbf("facturas", ".\\datos"));
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_TRUE(lokDbf("noexiste.dbf", ".\\datos"));
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_EQ(readBytes(file_), before_);
}

TEST_F(LokDbfTest, FileInUseIsLeftAlone) {
    int err = 0;
    auto holder = os::File::open(file_, true, os::Share::Exclusive, &err);
    ASSERT_TRUE(holder);
    EXPECT_TRUE(lokDbf("facturas.dbf", ".\\datos"));
    EXPECT_TRUE(op_.shown.empty());
    holder.reset();
    EXPECT_EQ(readBytes(file_), before_);
}

TEST_F(LokDbfTest, NetUseWithTheCheckRepairsBeforeOpening) {
    // The check gets the path and name as NET_USE joins them, under its default directory.
    op_.answers = {1};
    ASSERT_TRUE(netUse("facturas.dbf", false, "", ".\\datos\\", true));
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[0].text, question(".\\datos\\facturas.dbf", ".\\"));
    EXPECT_EQ(workspace().area()->alias(), "FACTURAS");
    EXPECT_EQ(workspace().area()->table().headerCount(), 10u);
}

// ---------------------------------------------------------------------------------------------
// REC_LOCK

// Another station holding record 2 of concfac through its own work area.
int holdRecord(OtherStation& s, const std::string& table, uint32_t rec, bool releaseAfter2s) {
    auto a = WorkArea::open(table, "", true, false);
    if (!a) return 2;
    a->goTo(rec);
    if (!a->table().rlock()) return 3;
    s.ready();
    if (releaseAfter2s) {
        ::usleep(2000000);
        a->table().unlockAll();
    } else {
        s.awaitRelease();
        a->table().unlockAll();
        s.ready();
    }
    s.awaitRelease();
    return 0;
}

TEST_F(AccessTest, RecLockWaitsForARecordReleasedWithinTheTime) {
    fillConcepts();
    OtherStation other([&](OtherStation& s) {
        return holdRecord(s, path("datos/concfac.dbf"), 2, true);
    });
    ASSERT_TRUE(other.awaitReady());
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    a->goTo(2);
    Clock::time_point t0 = Clock::now();
    EXPECT_TRUE(recLock());
    double waited = secondsSince(t0);
    EXPECT_GT(waited, 1.0);
    EXPECT_LT(waited, 4.5);
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_EQ(a->table().lockList(), std::vector<uint32_t>{2});
    other.release();
    EXPECT_EQ(other.join(), 0);
}

// Records when each box came, answering from the script.
class TimedOperator : public ScriptedOperator {
public:
    std::vector<double> at;
    Clock::time_point t0 = Clock::now();
    std::function<void()> onQuestion;
    bool message(MsgKind kind, const std::string& text, const std::string& title) override {
        at.push_back(secondsSince(t0));
        if (onQuestion) onQuestion();
        return ScriptedOperator::message(kind, text, title);
    }
};

TEST_F(AccessTest, RecLockAsksOncePerWaitAndNoGivesUp) {
    fillConcepts();
    OtherStation other([&](OtherStation& s) {
        return holdRecord(s, path("datos/concfac.dbf"), 2, false);
    });
    ASSERT_TRUE(other.awaitReady());
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    a->goTo(1);
    ASSERT_TRUE(recLock(1));  // a lock held here is given up by the next one
    a->goTo(2);

    TimedOperator timed;
    timed.onUnexpected = [](const ScriptedOperator::Shown& s) { ADD_FAILURE() << s.text; };
    timed.answers = {1, 0};
    ScriptedOperator::Scope scope(timed);
    timed.t0 = Clock::now();
    EXPECT_FALSE(recLock(1));
    double total = secondsSince(timed.t0);
    ASSERT_EQ(timed.shown.size(), 2u);
    for (const auto& s : timed.shown) {
        EXPECT_EQ(s.what, "yesno");  // "Yes" is the default button
        EXPECT_EQ(s.text, kLockQuestion);
        EXPECT_EQ(s.title, oApp().cEmpresa);
    }
    ASSERT_EQ(timed.at.size(), 2u);
    EXPECT_GE(timed.at[0], 1.0);
    EXPECT_LT(timed.at[0], 1.8);
    EXPECT_GE(timed.at[1] - timed.at[0], 1.0);
    EXPECT_LT(timed.at[1] - timed.at[0], 1.8);
    EXPECT_LT(total - timed.at[1], 0.5);
    EXPECT_TRUE(a->table().lockList().empty());
    EXPECT_EQ(a->recNo(), 2u);
    EXPECT_EQ(a->get("ID").text(), "0099");
    other.release();
    EXPECT_TRUE(other.awaitReady());
    other.release();
    EXPECT_EQ(other.join(), 0);
}

TEST_F(AccessTest, RecLockYesKeepsWaitingUntilTheRecordIsFree) {
    fillConcepts();
    OtherStation other([&](OtherStation& s) {
        return holdRecord(s, path("datos/concfac.dbf"), 2, false);
    });
    ASSERT_TRUE(other.awaitReady());
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    workspace().area()->goTo(2);

    TimedOperator timed;
    timed.onUnexpected = [](const ScriptedOperator::Shown& s) { ADD_FAILURE() << s.text; };
    timed.answers = {1};
    // At the first question the other station lets go; "Yes" then finds the record free.
    timed.onQuestion = [&] {
        other.release();
        EXPECT_TRUE(other.awaitReady());
    };
    ScriptedOperator::Scope scope(timed);
    EXPECT_TRUE(recLock(1));
    EXPECT_EQ(timed.shown.size(), 1u);
    EXPECT_EQ(workspace().area()->table().lockList(), std::vector<uint32_t>{2});
    other.release();
    EXPECT_EQ(other.join(), 0);
}

// ---------------------------------------------------------------------------------------------
// ADD_REC

TEST_F(AccessTest, AddRecGivesUpWhileTheNextRecordIsLockedElsewhere) {
    fillConcepts();
    std::string file = path("datos/concfac.dbf");
    // The append lock of record 4 under the structural-index layout.
    const uint64_t offset = 0x7FFFFFFEULL - 4;
    OtherStation other([&](OtherStation& s) {
        int err = 0;
        auto f = os::File::open(file, true, os::Share::Shared, &err);
        if (!f || !f->lock(offset, 1, true, false)) return 2;
        s.ready();
        s.awaitRelease();
        f->unlock(offset, 1);
        s.ready();
        s.awaitRelease();
        return 0;
    });
    ASSERT_TRUE(other.awaitReady());
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    ASSERT_TRUE(a->table().structuralIndex());
    std::string before = readBytes(file);

    Clock::time_point t0 = Clock::now();
    EXPECT_FALSE(addRec(1));
    double waited = secondsSince(t0);
    EXPECT_GE(waited, 1.0);
    EXPECT_LT(waited, 2.5);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, kAppendStop);
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_TRUE(dialogs_.empty());
    EXPECT_EQ(a->recCount(), 3u);
    EXPECT_EQ(readBytes(file), before);  // no blank record behind
    EXPECT_TRUE(a->table().lockList().empty());

    other.release();
    ASSERT_TRUE(other.awaitReady());
    op_.shown.clear();
    EXPECT_TRUE(addRec(1));
    EXPECT_TRUE(op_.shown.empty());
    EXPECT_EQ(a->recNo(), 4u);
    EXPECT_EQ(a->recCount(), 4u);
    EXPECT_EQ(a->table().lockList(), std::vector<uint32_t>{4});
    EXPECT_EQ(a->get("ID").text(), "    ");
    EXPECT_TRUE(a->put("ID", Value("0100")));
    a->table().unlockAll();
    workspace().closeAll();
    EXPECT_EQ(column("datos/concfac.dbf", "ID"),
              (std::vector<std::string>{"0001", "0099", "0050", "0100"}));
    other.release();
    EXPECT_EQ(other.join(), 0);
}

TEST_F(AccessTest, AddRecAppendsALockedCurrentRecord) {
    fillConcepts();
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    a->goTo(1);
    ASSERT_TRUE(recLock());
    EXPECT_TRUE(addRec());
    EXPECT_EQ(a->recNo(), 4u);
    EXPECT_EQ(a->table().lockList(), std::vector<uint32_t>{4});
    EXPECT_TRUE(op_.shown.empty());
}

// ---------------------------------------------------------------------------------------------
// INCDB, VALIDDB, EXISTECAMPO

TEST_F(AccessTest, IncDbFollowsTheLastCodeOfTheFirstTag) {
    fillConcepts();
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    int concfac = workspace().current();
    workspace().area()->setOrder(2);  // by name the last one is 0050
    ASSERT_TRUE(netUse("articulo", false, "", ".\\datos\\"));
    int articulo = workspace().current();

    EXPECT_EQ(incDb("CONCFAC"), "0100");
    EXPECT_EQ(workspace().current(), concfac);
    WorkArea* a = workspace().area();
    EXPECT_EQ(a->order(), 1);
    EXPECT_EQ(a->recNo(), 2u);  // 0099

    EXPECT_EQ(incDb("ARTICULO"), "000001");
    EXPECT_EQ(workspace().current(), articulo);
    EXPECT_TRUE(workspace().area()->eof());
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(AccessTest, ValidDbRefusesADuplicateOnlyWhenAdding) {
    fillConcepts();
    ASSERT_TRUE(netUse("concfac", false, "", ".\\datos\\"));
    WorkArea* a = workspace().area();
    a->goTo(1);
    for (int mode : {2, 3, 4}) {
        EXPECT_TRUE(validDb("CONCFAC", "0099", mode)) << mode;
        EXPECT_EQ(a->recNo(), 1u) << mode;
        EXPECT_TRUE(validDb("CONCFAC", "0077", mode)) << mode;
        EXPECT_EQ(a->recNo(), 1u) << mode;
    }
    EXPECT_TRUE(op_.shown.empty());

    EXPECT_TRUE(validDb("CONCFAC", "0077", 1));
    EXPECT_TRUE(op_.shown.empty());
    a->goTo(1);
    EXPECT_FALSE(validDb("CONCFAC", "0099", 1));
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, "Imposible duplicar codigo, verifique o cambie...");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);
    EXPECT_EQ(a->recNo(), 2u);  // left on the record found
}

TEST_F(AccessTest, ExisteCampoIgnoresCase) {
    ASSERT_TRUE(netUse("cliente", false, "", ".\\datos\\"));
    EXPECT_TRUE(existeCampo("nombre"));
    EXPECT_TRUE(existeCampo("NoMbRe"));
    EXPECT_TRUE(existeCampo("ID"));
    EXPECT_FALSE(existeCampo("nume"));
    EXPECT_FALSE(existeCampo("desc"));
    ASSERT_TRUE(netUse("pos_fac", false, "", ".\\datos\\"));
    EXPECT_FALSE(existeCampo("nombre"));
    EXPECT_TRUE(existeCampo("renglon"));
}

}  // namespace
}  // namespace wv
