// The shell's rules without a screen: the one-copy name, the log-in log, the window title, the
// user item, the about box, and the commands the menu and the bar run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <set>

#include "app/shell.h"
#include "data/application.h"
#include "runtime/date.h"
#include "runtime/operator.h"
#include "runtime/settings.h"
#include "storage/workstation.h"
#include "tests/test_support.h"

namespace wv {
namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        oApp() = TApplication{};
        oApp().setIdentity();
        applyProcessSettings();
    }
    ScriptedOperator op_;
    ScriptedOperator::Scope scope_{op_};
};

TEST(ExeMutexName, SameWhateverTheDirectoryOrLetterCase) {
    EXPECT_EQ(exeMutexName("wvestor"), "WVESTOR");
    EXPECT_EQ(exeMutexName("/opt/wvestor/bin/WvEstor"), "WVESTOR");
    EXPECT_EQ(exeMutexName("./build/app/wvestor"), "WVESTOR");
    EXPECT_EQ(exeMutexName("C:\\Sistemas\\Hotel\\wVestor32.exe"), "WVESTOR32.EXE");
    EXPECT_EQ(exeMutexName("C:wvestor32.exe"), "WVESTOR32.EXE");  // drive without a directory
    EXPECT_EQ(exeMutexName("\\\\server\\share\\x:y"), "X:Y");     // the last separator wins
}

TEST(ExeRunning, ANameIsClaimedOncePerUser) {
    test::TempDir dir;
    test::EnvVar runtime("XDG_RUNTIME_DIR", dir.path());
    std::string name = "WV_SHELL_TEST_" + std::to_string(::getpid());
    EXPECT_FALSE(os::isExeRunning(name));  // claimed now, for the rest of this process
    struct stat st {};
    EXPECT_EQ(::stat(dir.file(name + ".lock").c_str(), &st), 0);
    // The claim is per handle: another claim of the same name, even in this process, is refused.
    EXPECT_TRUE(os::isExeRunning(name));
    EXPECT_FALSE(os::isExeRunning(name + "_OTRO"));
    // A name that could leave the directory is not claimed at all.
    EXPECT_FALSE(os::isExeRunning("../" + name));
    // A lock file that is a link to somewhere else is not followed: it is replaced.
    std::string target = dir.file("elsewhere");
    test::writeBytes(target, "keep");
    ASSERT_EQ(::symlink(target.c_str(), dir.file("LINKED.lock").c_str()), 0);
    EXPECT_FALSE(os::isExeRunning("LINKED"));
    EXPECT_TRUE(os::isExeRunning("LINKED"));
    EXPECT_EQ(test::readBytes(target), "keep");
}

TEST(ExeRunning, WithoutARunTimeDirectoryAPrivateOneUnderTheTemporaryDirectory) {
    test::TempDir tmp;
    test::EnvVar runtime("XDG_RUNTIME_DIR", std::nullopt);
    test::EnvVar tmpdir("TMPDIR", tmp.path());
    std::string own = tmp.file("wvestor-" + std::to_string(::getuid()));
    EXPECT_FALSE(os::isExeRunning("PRIVADO"));
    EXPECT_TRUE(os::isExeRunning("PRIVADO"));
    struct stat st {};
    ASSERT_EQ(::stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A directory others may write in is not trusted: no claim is made (and none refused).
    ASSERT_EQ(::chmod(own.c_str(), 0777), 0);
    EXPECT_FALSE(os::isExeRunning("ABIERTO"));
    EXPECT_FALSE(os::isExeRunning("ABIERTO"));
    EXPECT_NE(::access((own + "/ABIERTO.lock").c_str(), F_OK), 0);
}

TEST_F(ShellTest, LogFileAppendsOneLinePerCallAndNeverTruncates) {
    test::TempDir dir;
    std::string file = dir.file("log.txt");
    logFile(file, {Value("uno"), Value(""), Value::number(12, 0), Value(dateFromYmd(2026, 12, 8))},
            "08/12/26", "10:11:12");
    EXPECT_EQ(test::readBytes(file), "08/12/26 10:11:12: uno\t\t        12\t08/12/26\t\r\n");
    logFile(file, {}, "09/12/26", "00:00:01");
    EXPECT_EQ(test::readBytes(file),
              "08/12/26 10:11:12: uno\t\t        12\t08/12/26\t\r\n09/12/26 00:00:01: \r\n");
    // A file that cannot be opened drops the line without a word.
    logFile(dir.file("no/such/dir/log.txt"), {Value("x")});
    EXPECT_TRUE(op_.shown.empty());
}

TEST_F(ShellTest, LoginLineAsTheStartWritesIt) {
    test::TempDir dir;
    std::string prev = std::filesystem::current_path();
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    oApp().cIniciales = "";
    logIngreso();
    logIngreso();
    std::string bytes = test::readBytes(dir.file("wVestor32.log"));
    ASSERT_EQ(::chdir(prev.c_str()), 0);
    // "dd/mm/yy hh:mm:ss: ingreso al sistema<TAB><TAB>dd/mm/yy<TAB>hh:mm:ss<TAB><CR><LF>", twice.
    ASSERT_EQ(bytes.size(), 2 * 59u) << bytes;
    for (size_t at : {size_t(0), size_t(59)}) {
        std::string line = bytes.substr(at, 59);
        std::string date = line.substr(0, 8), time = line.substr(9, 8);
        EXPECT_EQ(date, dtoc(today()));
        EXPECT_EQ(line, date + " " + time + ": ingreso al sistema\t\t" + date + "\t" + time +
                            "\t\r\n");
        EXPECT_EQ(time[2], ':');
        EXPECT_EQ(time[5], ':');
    }
}

TEST_F(ShellTest, TitleUserItemAndAboutBox) {
    EXPECT_EQ(windowTitle("ESTACION1", "maria"),
              "Empresa de Pruebas \xAE - Sistema Demo de Facturacion \xAE"
              "  [ Estacion de Red: ESTACION1 Usuario de Red: maria ]");
    EXPECT_EQ(userItemText("USUARIO DEMO"), "USUARIO DEMO");
    EXPECT_EQ(userItemText("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(userItemText(""), "");

    EXPECT_EQ(aboutText("Linux 6"),
              "Empresa de Pruebas \xAE - Sistema Demo de Facturacion \xAE\r\n"
              "\r\n"
              "Version: ordavex.2008.19/05/2008 12:07p.\r\n"
              "Programador: " + oApp().cProgramador + "\r\n"
              "Sistema Operativo: Linux 6\r\n"
              "Soporte Tecnico email: " + oApp().cEmail + "\r\n"
              "Soporte Tecnico Tel.: " + oApp().cTelefono);
    acercaDe();
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "info");
    EXPECT_EQ(op_.shown[0].title, "Informacion del Sistema");
    EXPECT_EQ(op_.shown[0].text, aboutText(os::systemName()));
    EXPECT_FALSE(os::systemName().empty());
}

TEST_F(ShellTest, CommandsWithoutAScreenShowTheNoticeAndNothingElse) {
    runCommand(Command::FacturasExpedidas);
    ASSERT_EQ(op_.shown.size(), 1u);
    EXPECT_EQ(op_.shown[0].what, "stop");
    EXPECT_EQ(op_.shown[0].text, "En Desarrollo");
    EXPECT_EQ(op_.shown[0].title, oApp().cEmpresa);

    // A registered screen runs instead of the notice, the invoice listing's as any other.
    int ran = 0;
    setCommandScreen(Command::CatCliente, [&] { ++ran; });
    setCommandScreen(Command::FacturasExpedidas, [&] { ran += 100; });
    runCommand(Command::CatCliente);
    runCommand(Command::FacturasExpedidas);
    EXPECT_EQ(ran, 101);
    EXPECT_EQ(op_.shown.size(), 1u);
    setCommandScreen(Command::CatCliente, {});
    setCommandScreen(Command::FacturasExpedidas, {});
    // Unregistered again: the notice again.
    runCommand(Command::FacturasExpedidas);
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[1].text, "En Desarrollo");
    runCommand(Command::Salir);  // the window's business
    runCommand(Command::None);
    EXPECT_EQ(op_.shown.size(), 2u);
}

TEST_F(ShellTest, ClosingQuestionDefaultsToNo) {
    op_.answers = {0, 1};
    EXPECT_FALSE(confirmExit());
    EXPECT_TRUE(confirmExit());
    ASSERT_EQ(op_.shown.size(), 2u);
    EXPECT_EQ(op_.shown[0].what, "noyes");
    EXPECT_EQ(op_.shown[0].text, "Esta seguro de querer Salir...");
    EXPECT_EQ(op_.shown[0].title, "Salir del Sistema");
}

TEST(MenuTree, EveryLeafRunsACommandAndEverySubmenuHasItems) {
    const auto& tree = menuTree();
    ASSERT_FALSE(tree.empty());
    EXPECT_EQ(tree.front().level, 1);
    std::set<Command> commands;
    for (size_t i = 0; i < tree.size(); ++i) {
        const MenuEntry& e = tree[i];
        if (i > 0) {
            EXPECT_LE(e.level, tree[i - 1].level + 1) << e.caption;  // no level skipped
        }
        bool opens = i + 1 < tree.size() && tree[i + 1].level > e.level;
        if (e.isSeparator() || opens) {
            EXPECT_EQ(e.action, Command::None) << e.caption;
        } else {
            EXPECT_NE(e.action, Command::None) << e.caption;
            EXPECT_TRUE(commands.insert(e.action).second) << "twice: " << e.caption;
        }
    }
    EXPECT_EQ(commands.size(), 12u);  // every command but None is on the menu once
    // The bar's buttons, in their slots, run commands of the menu.
    std::vector<int> slots;
    for (const BarButton& b : barButtons()) {
        slots.push_back(b.slot);
        EXPECT_TRUE(commands.count(b.action)) << b.bitmap;
    }
    EXPECT_EQ(slots, (std::vector<int>{1, 3, 4, 5, 6}));
}

TEST(MenuTree, CoordinatesChooseTheMenuKind) {
    EXPECT_EQ(menuUse(0, 0), MenuUse::MenuBar);
    EXPECT_EQ(menuUse(10, 20), MenuUse::ContextShown);
    EXPECT_EQ(menuUse(0, 20), MenuUse::ContextHidden);
    EXPECT_EQ(menuUse(10, 0), MenuUse::ContextHidden);
}

}  // namespace
}  // namespace wv
