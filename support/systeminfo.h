// System information: what the workstation is (system, network, processor, BIOS, desktop,
// memory), gathered into a plain description and written out as the report "info.txt" that the
// operator opens from Utilerias > Ayuda. The report keeps the lines and labels it had where the
// program was first used, on Windows; each line is filled from what Linux has in its place, and a
// line with no equivalent keeps its label with an empty text, 0 or "NO".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

inline constexpr const char* kSystemInfoVersion = "1.061";
inline constexpr const char* kSystemInfoReport = "info.txt";

// One processor as /proc/cpuinfo and cpufreq describe it.
struct ProcessorFacts {
    std::string name;        // "model name"
    std::string vendor;      // "vendor_id"
    std::string identifier;  // "x86_64 Family 6 Model 158 Stepping 10"
    double mhz = 0;          // the nominal speed (cpufreq's maximum, else "cpu MHz")
};

// The program that opens the files of one extension on the desktop.
struct FileAssociation {
    std::string program;  // the desktop entry, e.g. "org.gnome.FileRoller.desktop"
    std::string command;  // its command line ("file-roller %U")
    std::string icon;     // its icon
};

// Everything the report says, as the system gave it. Texts are program texts (code page 1252).
struct SystemFacts {
    // The version record: the kernel release's numbers ("6.1.0-18-amd64" gives 6, 1, 0) and the
    // rest of it as the service-pack text ("18-amd64"). Linux has no size field and no Windows
    // platform: both stay 0, and so every Windows version test is false.
    long osVersSize = 0;
    int major = 0, minor = 0, build = 0, platform = 0;
    std::string servicePack;
    int servicePackMajor = 0, suiteMask = 0;
    std::string productType;  // the NT family's "WinNT", "ServerNT"...: none here
    // The network: the first address of an interface other than loopback ("0.0.0.0" when
    // there is none), the host name and the name the address is known by.
    std::string ip = "0.0.0.0";
    std::string hostName;
    std::string addressName;

    std::string systemName;    // the distribution's PRETTY_NAME
    std::string computerName;  // the workstation's name
    std::vector<ProcessorFacts> processors;
    std::string biosDate, biosName;
    std::string videoBiosDate, videoBiosName;
    std::string timeZone;          // "America/Mexico_City"
    std::string ieStartPage, ieVersion, wallpaper, directXVersion, bootDir;
    std::string defaultBrowser;    // the desktop entry that opens web pages
    std::map<std::string, FileAssociation> associations;  // by extension, upper case, no point
    int colorBits = 0;             // bits per pixel of the screen
    std::string modemName, modemVersion, modemPort;
    std::string monitorName;
    std::string mouseName, mouseVersion;
    // Memory in bytes: physical (MemTotal, MemAvailable), page file (SwapTotal, SwapFree) and
    // virtual (CommitLimit, and what of it is not committed).
    uint64_t memTotal = 0, memAvailable = 0;
    uint64_t pageTotal = 0, pageAvailable = 0;
    uint64_t virtualTotal = 0, virtualAvailable = 0;
};

// TSystemInfo: the questions the report asks, answered from a description.
class TSystemInfo {
public:
    explicit TSystemInfo(SystemFacts facts) : f_(std::move(facts)) {}
    const SystemFacts& facts() const { return f_; }

    bool IsWin95() const;
    bool IsWin95SP1() const;
    bool IsWin95OSR2() const;
    bool IsWin98() const;
    bool IsWin98SP1() const;
    bool IsWin98SE() const;
    bool IsWinME() const;
    bool IsWinNT31() const;
    bool IsWinNT35() const;
    bool IsWinNT351() const;
    bool IsWinNT4() const;
    bool IsWin2000() const;
    bool IsWinXP() const;
    bool IsWin2003Server() const;
    bool IsNTPreWin2K() const;
    bool IsNTWorkstation() const;
    bool IsNTServer() const;
    bool IsWin2000Prof() const;
    bool IsWin2000Server() const;
    // More than one processor.
    bool IsDualCPU() const;

    // The system's name (the distribution's, here); "Unknown Windows version" without one.
    std::string WinVer() const;
    // "major.minor.build", then a blank and the service-pack text when there is one.
    std::string VerNum() const;
    std::string ServicePack() const;
    std::string WhichNT() const;

    // Processor n (1 for the first): CPU() falls back to the first processor's name.
    std::string CPU(int n = 1) const;
    std::string CPUName(int n = 1) const;
    std::string CPUVendor(int n = 1) const;
    std::string CPUIdentifier(int n = 1) const;
    // MHz rounded to the nearest 10; 0 for a processor that is not there.
    long SpeedCPU(int n = 1) const;

    std::string DateSystemBios() const { return f_.biosDate; }
    std::string NameSystemBios() const { return f_.biosName; }
    std::string DateVideoBios() const { return f_.videoBiosDate; }
    std::string NameVideoBios() const { return f_.videoBiosName; }
    std::string ComputerName() const { return f_.computerName; }
    std::string TimeZone() const { return f_.timeZone; }
    std::string IEStartPage() const { return f_.ieStartPage; }
    std::string IEVersion() const { return f_.ieVersion; }
    std::string DefBrowser() const { return f_.defaultBrowser; }
    std::string DTWallpaper() const { return f_.wallpaper; }
    std::string DirectxVersion() const { return f_.directXVersion; }
    std::string BootDir() const { return f_.bootDir; }

    // The association of an extension given with or without its point ("ZIP", ".zip"); a value
    // that is not text gives "". App4Ext is the command without its file argument.
    std::string Ass4Ext(const Value& ext) const;
    std::string App4Ext(const Value& ext) const;
    std::string Icon4Ext(const Value& ext) const;

    // 2 to the power of the screen's bits per pixel.
    uint64_t GetColors() const;

    std::string ModemName() const { return f_.modemName; }
    std::string ModemVersion() const { return f_.modemVersion; }
    std::string ModemPort() const { return f_.modemPort; }
    std::string MonitorName() const { return f_.monitorName; }
    std::string MouseName() const { return f_.mouseName; }
    std::string MouseVersion() const { return f_.mouseVersion; }

    // Megabytes: 1 total physical, 2 available physical, 3 total page file, 4 available page
    // file, 5 total virtual, 6 available virtual; 0 for any other n.
    uint64_t Memory(int n) const;

private:
    const FileAssociation* association(const Value& ext) const;
    SystemFacts f_;
};

// The report's text: "Data's of TSystemInfo:" and then every line, each one begun by CR LF.
std::string systemInfoReport(const TSystemInfo& info);

// The description of this workstation, read now. The screen's depth and the monitor are the
// interface's to fill (0 and empty here).
SystemFacts currentSystemFacts();

// Readers of the system's texts, kept apart so that their rules can be checked on samples.
namespace sysinfo {
// The processors of /proc/cpuinfo, with `machine` (uname's) leading their identifiers.
std::vector<ProcessorFacts> processors(std::string_view cpuinfo, const std::string& machine);
// A "kB" line of /proc/meminfo in bytes; 0 when absent.
uint64_t meminfoBytes(std::string_view meminfo, std::string_view key);
// The version numbers and the service-pack text of a kernel release.
void kernelRelease(const std::string& release, SystemFacts& f);
// The time zone named by the target of /etc/localtime ("/usr/share/zoneinfo/Europe/Madrid").
std::string timeZoneOfLink(const std::string& target);
// A desktop entry's Exec= and Icon= of its main group ([Desktop Entry]).
FileAssociation desktopEntry(std::string_view text);
// The command without its file argument: cut at the last " %" code, trailing blanks removed.
std::string openCommand(const std::string& exec);
// The MIME type a globs2 file (/usr/share/mime/globs2) gives the extension, letter case aside.
std::string mimeTypeOf(std::string_view globs2, const std::string& ext);
}  // namespace sysinfo

// SYSTEMINFOR below the interface: shows "Your CPU is a ...", writes the report to `path` in
// code page 1252 (replacing it) and hands the file to `open`. A file that cannot be written is
// said in a stop box and nothing is opened; false then.
bool systemInfor(const TSystemInfo& info, const std::function<void(const std::string&)>& open,
                 const std::string& path = kSystemInfoReport);

}  // namespace wv
