// The system information report: its lines against a described workstation, the answers that
// stand in for the other platform's, the readers of the system's texts, and the report's file.
#include "support/systeminfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "runtime/operator.h"
#include "tests/test_support.h"

namespace wv {
namespace {

constexpr uint64_t kMB = 1 << 20;

SystemFacts reception() {
    SystemFacts f;
    f.major = 6;
    f.minor = 1;
    f.build = 0;
    f.servicePack = "18-amd64";
    f.ip = "192.168.1.20";
    f.hostName = "recepcion.hotel.lan";
    f.addressName = "recepcion.hotel.lan";
    f.systemName = "Debian GNU/Linux 12 (bookworm)";
    f.computerName = "recepcion";
    ProcessorFacts p{"Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz", "GenuineIntel",
                     "x86_64 Family 6 Model 158 Stepping 10", 2795};
    f.processors = {p, p};
    f.biosDate = "04/01/2014";
    f.biosName = "SeaBIOS 1.16.2";
    f.timeZone = "America/Mexico_City";
    f.defaultBrowser = "firefox-esr.desktop";
    f.associations["ZIP"] = {"org.gnome.FileRoller.desktop", "file-roller %U",
                             "org.gnome.FileRoller"};
    f.colorBits = 32;
    f.monitorName = "Dell U2419H";
    f.memTotal = 8192 * kMB;
    f.memAvailable = 5632 * kMB + kMB / 2;
    f.pageTotal = 2048 * kMB;
    f.pageAvailable = 2048 * kMB - 1;
    f.virtualTotal = 6144 * kMB;
    f.virtualAvailable = 0;
    return f;
}

TEST(SystemInfoReport, EveryLineInOrder) {
    std::string expected =
        "Data's of TSystemInfo:\r\n"
        "            nOSVers = 0\r\n"
        "             nMajor = 6\r\n"
        "             nMinor = 1\r\n"
        "             nBuild = 0\r\n"
        "          nPlatform = 0\r\n"
        "                cSP = 18-amd64\r\n"
        "(local IP)      cIP = 192.168.1.20\r\n"
        "(Host name)  cSName = recepcion.hotel.lan\r\n"
        "(Machine ID) cLName = recepcion.hotel.lan\r\n"
        "\r\n"
        "Method's of TSystemInfo:\r\n"
        "           WinVer() = Debian GNU/Linux 12 (bookworm)\r\n"
        "           VerNum() = 6.1.0 18-amd64\r\n"
        "          IsWin95() = NO\r\n"
        "       IsWin95SP1() = NO\r\n"
        "      IsWin95OSR2() = NO\r\n"
        "          IsWin98() = NO\r\n"
        "       IsWin98SP1() = NO\r\n"
        "        IsWin98SE() = NO\r\n"
        "          IsWinME() = NO\r\n"
        "        IsWinNT31() = NO\r\n"
        "        IsWinNT35() = NO\r\n"
        "       IsWinNT351() = NO\r\n"
        "         IsWinNT4() = NO\r\n"
        "        IsWin2000() = NO\r\n"
        "          IsWinXP() = NO\r\n"
        "  IsWin2003Server() = NO\r\n"
        "\r\n"
        "     IsNTPreWin2K() = NO\r\n"
        "\r\n"
        "  IsNTWorkstation() = NO\r\n"
        "       IsNTServer() = NO\r\n"
        "\r\n"
        "    IsWin2000Prof() = NO\r\n"
        "  IsWin2000Server() = NO\r\n"
        "\r\n"
        "              CPU() = Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\r\n"
        "          CPUName() = Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\r\n"
        "         SpeedCPU() = 2800\r\n"
        "        IsDualCPU() = YES\r\n"
        "        CPUVendor() = GenuineIntel\r\n"
        "    CPUIdentifier() = x86_64 Family 6 Model 158 Stepping 10\r\n"
        "          WhichNT() = \r\n"
        "   DateSystemBios() = 04/01/2014\r\n"
        "   NameSystemBios() = SeaBIOS 1.16.2\r\n"
        "    DateVideoBios() = \r\n"
        "    NameVideoBios() = \r\n"
        "     Computername() = recepcion\r\n"
        "      Servicepack() = \r\n"
        "         TimeZone() = America/Mexico_City\r\n"
        "      IEStartPage() = \r\n"
        "        IEVersion() = \r\n"
        "       DefBrowser() = firefox-esr.desktop\r\n"
        "      DTWallPaper() = \r\n"
        "   DirectXVersion() = \r\n"
        "    Ass4Ext('.ZIP') = org.gnome.FileRoller.desktop\r\n"
        "    App4Ext('.ZIP') = file-roller\r\n"
        "   Icon4Ext('.ZIP') = org.gnome.FileRoller\r\n"
        "          BootDir() = \r\n"
        "        GetColors() = 4294967296\r\n"
        "\r\n"
        "        ModemName() = \r\n"
        "     ModemVersion() = \r\n"
        "        ModemPort() = \r\n"
        "      MonitorName() = Dell U2419H\r\n"
        "        MouseName() = \r\n"
        "     MouseVersion() = \r\n"
        "\r\n"
        "        Memory Info\r\n"
        "        -----------\r\n"
        "     Total Physical = 8192 MB\r\n"
        " Available Physical = 5632 MB\r\n"
        "    Total Page File = 2048 MB\r\n"
        "Available Page File = 2047 MB\r\n"
        "      Total Virtual = 6144 MB\r\n"
        "  Available Virtual = 0 MB";
    // Available Page File is 2048 MB less a byte: whole megabytes, never rounded up.
    EXPECT_EQ(systemInfoReport(TSystemInfo(reception())), expected);
}

TEST(SystemInfoReport, OneProcessorWithoutSpeedOrColours) {
    SystemFacts f = reception();
    f.processors.resize(1);
    f.processors[0].mhz = 0;
    f.colorBits = 0;
    std::string r = systemInfoReport(TSystemInfo(f));
    EXPECT_NE(r.find("\r\n        IsDualCPU() = NO\r\n"), std::string::npos);
    EXPECT_NE(r.find("\r\n         SpeedCPU() = 0\r\n"), std::string::npos);
    EXPECT_NE(r.find("\r\n        GetColors() = 0\r\n"), std::string::npos);
    EXPECT_EQ(TSystemInfo(f).SpeedCPU(2), 0);
}

// The report is as wide as the original's: a memory over six digits of megabytes overflows its
// field instead of widening the line.
TEST(SystemInfoReport, MemoryBeyondSixDigits) {
    SystemFacts f = reception();
    f.memTotal = uint64_t(1000000) * kMB;
    TSystemInfo o(f);
    EXPECT_EQ(o.Memory(1), 1000000u);
    EXPECT_EQ(o.Memory(7), 0u);
    EXPECT_NE(systemInfoReport(o).find("\r\n     Total Physical = ****** MB\r\n"), std::string::npos);
}

TEST(SystemInfoAssociations, ExtensionWithOrWithoutPoint) {
    TSystemInfo o(reception());
    EXPECT_EQ(o.App4Ext(Value("ZIP")), "file-roller");
    EXPECT_EQ(o.App4Ext(Value("ZIP")), o.App4Ext(Value(".ZIP")));
    EXPECT_EQ(o.App4Ext(Value(".zip")), "file-roller");
    EXPECT_EQ(o.Icon4Ext(Value("zip")), "org.gnome.FileRoller");
    EXPECT_EQ(o.Ass4Ext(Value("ZIP")), o.Ass4Ext(Value(".ZIP")));
    EXPECT_EQ(o.App4Ext(Value::number(1)), "");
    EXPECT_EQ(o.App4Ext(Value(".RAR")), "");
}

TEST(SystemInfoAssociations, OpenCommandWithoutItsFileArgument) {
    EXPECT_EQ(sysinfo::openCommand("file-roller %U"), "file-roller");
    EXPECT_EQ(sysinfo::openCommand("env X=1 \"/opt/a b/ark\" --open %f  "), "env X=1 \"/opt/a b/ark\" --open");
    EXPECT_EQ(sysinfo::openCommand("engrampa  "), "engrampa");
}

// The first processor that has no name: CPU() and the first box say nothing of it; a later
// processor without a name borrows the first's.
TEST(SystemInfoProcessor, WithoutAName) {
    SystemFacts f = reception();
    f.processors[1].name = "";
    EXPECT_EQ(TSystemInfo(f).CPU(2), "Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz");
    EXPECT_EQ(TSystemInfo(f).CPUName(2), "");
    f.processors[0].name = "";
    TSystemInfo o(f);
    EXPECT_EQ(o.CPU(), "");
    test::TempDir dir;
    ScriptedOperator op;
    ScriptedOperator::Scope scope(op);
    ASSERT_TRUE(systemInfor(o, nullptr, dir.file("info.txt")));
    ASSERT_FALSE(op.shown.empty());
    EXPECT_EQ(op.shown[0].what, "info");
    EXPECT_EQ(op.shown[0].text, "Your CPU is a ");
    EXPECT_EQ(op.shown[0].title, "TSystemInfo 1.061");
    EXPECT_NE(test::readBytes(dir.file("info.txt")).find("\r\n              CPU() = \r\n"),
              std::string::npos);
}

TEST(SystemInfoVersions, TheOtherPlatformsNames) {
    SystemFacts f;
    f.platform = 1, f.major = 4, f.minor = 0, f.build = 950;
    EXPECT_EQ(TSystemInfo(f).WinVer(), "Windows 95");  // before "Service Pack 1", which holds too
    f.build = 1111;
    EXPECT_EQ(TSystemInfo(f).WinVer(), "Windows 95 OSR2");
    f.platform = 2, f.major = 5, f.minor = 1, f.suiteMask = 0x200;
    EXPECT_EQ(TSystemInfo(f).WinVer(), "Windows XP Home Edition");
    f.minor = 0, f.productType = "LanmanNT";
    EXPECT_EQ(TSystemInfo(f).WinVer(), "Windows 2000 Server");
    EXPECT_EQ(TSystemInfo(f).ServicePack(), "Service Pack 0");
    EXPECT_EQ(TSystemInfo(SystemFacts{}).WinVer(), "Unknown Windows version");
}

TEST(SystemInfoFile, WrittenInCodePage1252AndOpened) {
    test::TempDir dir;
    std::string path = dir.file("info.txt");
    test::writeBytes(path, std::string(10000, 'x'));
    SystemFacts f = reception();
    f.timeZone = "Am\xE9rica/Canc\xFAn";  // program texts are code page 1252
    ScriptedOperator op;
    ScriptedOperator::Scope scope(op);
    std::string opened;
    ASSERT_TRUE(systemInfor(TSystemInfo(f), [&](const std::string& p) { opened = p; }, path));
    EXPECT_EQ(opened, path);
    std::string bytes = test::readBytes(path);
    EXPECT_EQ(bytes, systemInfoReport(TSystemInfo(f)));  // the old file replaced, not overlaid
    EXPECT_NE(bytes.find("= Am\xE9rica/Canc\xFAn\r\n"), std::string::npos);
}

TEST(SystemInfoFile, NotWritableSaysSoAndOpensNothing) {
    test::TempDir dir;
    ScriptedOperator op;
    ScriptedOperator::Scope scope(op);
    bool opened = false;
    EXPECT_FALSE(systemInfor(TSystemInfo(reception()), [&](const std::string&) { opened = true; },
                             dir.file("no/such/dir/info.txt")));
    EXPECT_FALSE(opened);
    ASSERT_EQ(op.shown.size(), 2u);
    EXPECT_EQ(op.shown[1].what, "stop");
    EXPECT_NE(op.shown[1].text.find("info.txt"), std::string::npos);
}

TEST(SystemInfoReaders, ProcessorsOfCpuinfo) {
    const char* x86 =
        "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
        "model name\t: Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\nstepping\t: 10\n"
        "cpu MHz\t\t: 2807.998\nflags\t\t: fpu vme\n\n"
        "processor\t: 1\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
        "model name\t: Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\nstepping\t: 10\n"
        "cpu MHz\t\t: 800.000\n\n";
    auto ps = sysinfo::processors(x86, "x86_64");
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[0].name, "Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz");
    EXPECT_EQ(ps[0].vendor, "GenuineIntel");
    EXPECT_EQ(ps[0].identifier, "x86_64 Family 6 Model 158 Stepping 10");
    EXPECT_DOUBLE_EQ(ps[1].mhz, 800.0);
    // An ARM board: no name, no family; the trailing block about the board is no processor.
    const char* arm =
        "processor\t: 0\nBogoMIPS\t: 108.00\nCPU implementer\t: 0x41\n\n"
        "processor\t: 1\nBogoMIPS\t: 108.00\n\nHardware\t: BCM2835\nModel\t\t: Raspberry Pi 4\n";
    ps = sysinfo::processors(arm, "aarch64");
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(ps[0].name, "");
    EXPECT_EQ(ps[1].identifier, "");
}

TEST(SystemInfoReaders, KernelMemoryZoneAndDesktop) {
    SystemFacts f;
    sysinfo::kernelRelease("6.1.0-18-amd64", f);
    EXPECT_EQ(f.major, 6);
    EXPECT_EQ(f.minor, 1);
    EXPECT_EQ(f.build, 0);
    EXPECT_EQ(f.servicePack, "18-amd64");
    SystemFacts g;
    sysinfo::kernelRelease("5.15", g);
    EXPECT_EQ(TSystemInfo(g).VerNum(), "5.15.0");

    const char* meminfo = "MemTotal:       16314748 kB\nMemFree:  1000 kB\nSwapTotal:  0 kB\n";
    EXPECT_EQ(sysinfo::meminfoBytes(meminfo, "MemTotal"), 16314748ull * 1024);
    EXPECT_EQ(sysinfo::meminfoBytes(meminfo, "Mem"), 0u);
    EXPECT_EQ(sysinfo::meminfoBytes(meminfo, "MemAvailable"), 0u);

    EXPECT_EQ(sysinfo::timeZoneOfLink("/usr/share/zoneinfo/America/Mexico_City"), "America/Mexico_City");
    EXPECT_EQ(sysinfo::timeZoneOfLink("../usr/share/zoneinfo/posix/Europe/Madrid"), "Europe/Madrid");
    EXPECT_EQ(sysinfo::timeZoneOfLink("/etc/other"), "");

    const char* entry =
        "[Desktop Entry]\nName=Archive Manager\nExec=file-roller %U\nIcon=org.gnome.FileRoller\n"
        "[Desktop Action new-window]\nExec=file-roller --new\nIcon=other\n";
    FileAssociation a = sysinfo::desktopEntry(entry);
    EXPECT_EQ(a.command, "file-roller %U");
    EXPECT_EQ(a.icon, "org.gnome.FileRoller");

    const char* globs2 =
        "# comment\n50:application/x-zip-compressed-fb2:*.fb2.zip\n"
        "40:application/x-lowzip:*.zip\n50:application/zip:*.zip\n50:text/plain:*.txt\n";
    EXPECT_EQ(sysinfo::mimeTypeOf(globs2, "ZIP"), "application/zip");
    EXPECT_EQ(sysinfo::mimeTypeOf(globs2, "rar"), "");
}

// This machine: the address is an interface's, never the loopback the host name resolves to.
TEST(SystemInfoLive, ThisWorkstation) {
    SystemFacts f = currentSystemFacts();
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(f.hostName, host);
    EXPECT_NE(f.ip.rfind("127.", 0), 0u) << f.ip;
    EXPECT_NE(f.ip, "::1");
    EXPECT_FALSE(f.processors.empty());
    EXPECT_GT(f.memTotal, 0u);
    EXPECT_GE(f.memTotal, f.memAvailable);
    EXPECT_NE(f.systemName, "");
}

}  // namespace
}  // namespace wv
