#include "support/systeminfo.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "runtime/codepage.h"
#include "runtime/operator.h"
#include "runtime/transform.h"
#include "storage/workstation.h"

extern char** environ;

namespace wv {

// ---------------------------------------------------------------------------------------------
// The questions

bool TSystemInfo::IsWin95() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor == 0 && f_.build == 950;
}
bool TSystemInfo::IsWin95SP1() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor == 0 && f_.build <= 1080;
}
bool TSystemInfo::IsWin95OSR2() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor < 10 && f_.build > 1080;
}
bool TSystemInfo::IsWin98() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor == 10 && f_.build == 1998;
}
bool TSystemInfo::IsWin98SP1() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor == 10 && f_.build > 1998 &&
           f_.build <= 2183;
}
bool TSystemInfo::IsWin98SE() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor == 10 && f_.build > 2183;
}
bool TSystemInfo::IsWinME() const {
    return f_.platform == 1 && f_.major == 4 && f_.minor == 90 && f_.build > 2183;
}
bool TSystemInfo::IsWinNT31() const { return f_.platform == 2 && f_.major == 3 && f_.minor == 10; }
bool TSystemInfo::IsWinNT35() const { return f_.platform == 2 && f_.major == 3 && f_.minor == 50; }
bool TSystemInfo::IsWinNT351() const { return f_.platform == 2 && f_.major == 3 && f_.minor == 51; }
bool TSystemInfo::IsWinNT4() const { return f_.platform == 2 && f_.major == 4; }
bool TSystemInfo::IsWin2000() const { return f_.platform == 2 && f_.major == 5 && f_.minor == 0; }
bool TSystemInfo::IsWinXP() const { return f_.platform == 2 && f_.major == 5 && f_.minor == 1; }
bool TSystemInfo::IsWin2003Server() const {
    return f_.platform == 2 && f_.major == 5 && f_.minor == 2;
}
bool TSystemInfo::IsNTPreWin2K() const { return f_.platform == 2 && f_.major <= 4; }
bool TSystemInfo::IsNTWorkstation() const {
    return IsNTPreWin2K() && upperCase(WhichNT()) == "WINNT";
}
bool TSystemInfo::IsNTServer() const {
    return IsNTPreWin2K() && upperCase(WhichNT()) == "SERVERNT";
}
bool TSystemInfo::IsWin2000Prof() const { return IsWin2000() && upperCase(WhichNT()) == "WINNT"; }
bool TSystemInfo::IsWin2000Server() const {
    std::string nt = upperCase(WhichNT());
    return IsWin2000() && (nt == "SERVERNT" || nt == "LANMANNT");
}
bool TSystemInfo::IsDualCPU() const { return f_.processors.size() > 1; }

std::string TSystemInfo::WinVer() const {
    if (IsWin95()) return "Windows 95";
    if (IsWin95SP1()) return "Windows 95 Service Pack 1";
    if (IsWin95OSR2()) return "Windows 95 OSR2";
    if (IsWin98()) return "Windows 98";
    if (IsWin98SP1()) return "Windows 98 Service Pack 1";
    if (IsWin98SE()) return "Windows 98 Second Edition";
    if (IsWinME()) return "Windows ME";
    if (IsWinNT31()) return "Windows NT 3.1";
    if (IsWinNT35()) return "Windows NT 3.5";
    if (IsWinNT351()) return "Windows NT 3.51";
    if (IsWinNT4()) return "Windows NT 4";
    if (IsWin2000())
        return std::string("Windows 2000") + (IsWin2000Prof()     ? " Professional"
                                              : IsWin2000Server() ? " Server"
                                                                  : "");
    if (IsWinXP())
        return std::string("Windows XP ") + ((f_.suiteMask & 0x200) ? "Home Edition" : "Professional");
    if (IsWin2003Server()) return "Windows Server 2003";
    if (!f_.systemName.empty()) return f_.systemName;
    return "Unknown Windows version";
}

std::string TSystemInfo::VerNum() const {
    std::string v = std::to_string(f_.major) + "." + std::to_string(f_.minor) + "." +
                    std::to_string(f_.build);
    if (!f_.servicePack.empty()) v += " " + f_.servicePack;
    return v;
}

std::string TSystemInfo::ServicePack() const {
    return f_.platform == 2 ? "Service Pack " + std::to_string(f_.servicePackMajor) : "";
}

std::string TSystemInfo::WhichNT() const { return f_.platform == 1 ? "" : f_.productType; }

std::string TSystemInfo::CPUName(int n) const {
    if (n < 1 || size_t(n) > f_.processors.size()) return "";
    return f_.processors[size_t(n - 1)].name;
}

std::string TSystemInfo::CPU(int n) const {
    std::string name = CPUName(n);
    return name.empty() ? CPUName(1) : name;
}

std::string TSystemInfo::CPUVendor(int n) const {
    if (n < 1 || size_t(n) > f_.processors.size()) return "";
    return f_.processors[size_t(n - 1)].vendor;
}

std::string TSystemInfo::CPUIdentifier(int n) const {
    if (n < 1 || size_t(n) > f_.processors.size()) return "";
    return f_.processors[size_t(n - 1)].identifier;
}

long TSystemInfo::SpeedCPU(int n) const {
    if (f_.platform == 1 || n < 1 || size_t(n) > f_.processors.size()) return 0;
    return std::lround(f_.processors[size_t(n - 1)].mhz / 10.0) * 10;
}

const FileAssociation* TSystemInfo::association(const Value& ext) const {
    if (!ext.isText()) return nullptr;
    std::string key = upperCase(allTrim(ext.text()));
    if (!key.empty() && key[0] == '.') key.erase(0, 1);
    auto it = f_.associations.find(key);
    return it == f_.associations.end() ? nullptr : &it->second;
}

std::string TSystemInfo::Ass4Ext(const Value& ext) const {
    const FileAssociation* a = association(ext);
    return a ? a->program : "";
}

std::string TSystemInfo::App4Ext(const Value& ext) const {
    const FileAssociation* a = association(ext);
    return a ? sysinfo::openCommand(a->command) : "";
}

std::string TSystemInfo::Icon4Ext(const Value& ext) const {
    const FileAssociation* a = association(ext);
    return a ? a->icon : "";
}

uint64_t TSystemInfo::GetColors() const {
    if (f_.colorBits <= 0) return 0;
    if (f_.colorBits >= 64) return UINT64_MAX;
    return uint64_t(1) << f_.colorBits;
}

uint64_t TSystemInfo::Memory(int n) const {
    uint64_t bytes = 0;
    switch (n) {
        case 1: bytes = f_.memTotal; break;
        case 2: bytes = f_.memAvailable; break;
        case 3: bytes = f_.pageTotal; break;
        case 4: bytes = f_.pageAvailable; break;
        case 5: bytes = f_.virtualTotal; break;
        case 6: bytes = f_.virtualAvailable; break;
        default: return 0;
    }
    return bytes >> 20;
}

// ---------------------------------------------------------------------------------------------
// The report

namespace {

const char* const kEol = "\r\n";

class ReportText {
public:
    explicit ReportText(const char* first) : text_(first) {}
    // A line: the name right-aligned in 19 columns, " = ", the value.
    void line(const std::string& name, const std::string& value) {
        text_ += kEol;
        if (name.size() < 19) text_ += std::string(19 - name.size(), ' ');
        text_ += name + " = " + value;
    }
    void line(const std::string& name, bool value) { line(name, std::string(value ? "YES" : "NO")); }
    void line(const std::string& name, long long value) { line(name, std::to_string(value)); }
    void text(const std::string& s) { text_ += kEol + s; }
    void empty() { text_ += kEol; }
    std::string str() const { return text_; }

private:
    std::string text_;
};

std::string megabytes(uint64_t mb) {
    return allTrim(transform(Value::number(double(mb)), "999999")) + " MB";
}

}  // namespace

std::string systemInfoReport(const TSystemInfo& o) {
    const SystemFacts& f = o.facts();
    ReportText r("Data's of TSystemInfo:");
    r.line("nOSVers", (long long)f.osVersSize);
    r.line("nMajor", (long long)f.major);
    r.line("nMinor", (long long)f.minor);
    r.line("nBuild", (long long)f.build);
    r.line("nPlatform", (long long)f.platform);
    r.line("cSP", f.servicePack);
    r.line("(local IP)      cIP", f.ip);
    r.line("(Host name)  cSName", f.hostName);
    r.line("(Machine ID) cLName", f.addressName);
    r.empty();
    r.text("Method's of TSystemInfo:");
    r.line("WinVer()", o.WinVer());
    r.line("VerNum()", o.VerNum());
    r.line("IsWin95()", o.IsWin95());
    r.line("IsWin95SP1()", o.IsWin95SP1());
    r.line("IsWin95OSR2()", o.IsWin95OSR2());
    r.line("IsWin98()", o.IsWin98());
    r.line("IsWin98SP1()", o.IsWin98SP1());
    r.line("IsWin98SE()", o.IsWin98SE());
    r.line("IsWinME()", o.IsWinME());
    r.line("IsWinNT31()", o.IsWinNT31());
    r.line("IsWinNT35()", o.IsWinNT35());
    r.line("IsWinNT351()", o.IsWinNT351());
    r.line("IsWinNT4()", o.IsWinNT4());
    r.line("IsWin2000()", o.IsWin2000());
    r.line("IsWinXP()", o.IsWinXP());
    r.line("IsWin2003Server()", o.IsWin2003Server());
    r.empty();
    r.line("IsNTPreWin2K()", o.IsNTPreWin2K());
    r.empty();
    r.line("IsNTWorkstation()", o.IsNTWorkstation());
    r.line("IsNTServer()", o.IsNTServer());
    r.empty();
    r.line("IsWin2000Prof()", o.IsWin2000Prof());
    r.line("IsWin2000Server()", o.IsWin2000Server());
    r.empty();
    r.line("CPU()", o.CPU());
    r.line("CPUName()", o.CPUName());
    r.line("SpeedCPU()", (long long)o.SpeedCPU());
    r.line("IsDualCPU()", o.IsDualCPU());
    r.line("CPUVendor()", o.CPUVendor());
    r.line("CPUIdentifier()", o.CPUIdentifier());
    r.line("WhichNT()", o.WhichNT());
    r.line("DateSystemBios()", o.DateSystemBios());
    r.line("NameSystemBios()", o.NameSystemBios());
    r.line("DateVideoBios()", o.DateVideoBios());
    r.line("NameVideoBios()", o.NameVideoBios());
    r.line("Computername()", o.ComputerName());
    r.line("Servicepack()", o.ServicePack());
    r.line("TimeZone()", o.TimeZone());
    r.line("IEStartPage()", o.IEStartPage());
    r.line("IEVersion()", o.IEVersion());
    r.line("DefBrowser()", o.DefBrowser());
    r.line("DTWallPaper()", o.DTWallpaper());
    r.line("DirectXVersion()", o.DirectxVersion());
    r.line("Ass4Ext('.ZIP')", o.Ass4Ext(Value(".ZIP")));
    r.line("App4Ext('.ZIP')", o.App4Ext(Value(".ZIP")));
    r.line("Icon4Ext('.ZIP')", o.Icon4Ext(Value(".ZIP")));
    r.line("BootDir()", o.BootDir());
    r.line("GetColors()", std::to_string(o.GetColors()));
    r.empty();
    r.line("ModemName()", o.ModemName());
    r.line("ModemVersion()", o.ModemVersion());
    r.line("ModemPort()", o.ModemPort());
    r.line("MonitorName()", o.MonitorName());
    r.line("MouseName()", o.MouseName());
    r.line("MouseVersion()", o.MouseVersion());
    r.empty();
    r.text("        Memory Info");
    r.text("        -----------");
    r.line("Total Physical", megabytes(o.Memory(1)));
    r.line("Available Physical", megabytes(o.Memory(2)));
    r.line("Total Page File", megabytes(o.Memory(3)));
    r.line("Available Page File", megabytes(o.Memory(4)));
    r.line("Total Virtual", megabytes(o.Memory(5)));
    r.line("Available Virtual", megabytes(o.Memory(6)));
    return r.str();
}

bool systemInfor(const TSystemInfo& info, const std::function<void(const std::string&)>& open,
                 const std::string& path) {
    msgInfo(Value("Your CPU is a " + info.CPU()),
            std::string("TSystemInfo ") + kSystemInfoVersion);
    std::string report = systemInfoReport(info);
    bool written = false;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(report.data(), std::streamsize(report.size()));
            out.close();
            written = bool(out);
        }
    }
    if (!written) {
        msgStop(Value("No se pudo escribir el reporte " + path +
                      "\r\nRevise que el directorio de trabajo admita escritura."),
                "Informacion del Sistema");
        return false;
    }
    if (open) open(path);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Readers of the system's texts

namespace sysinfo {

namespace {

std::string trimmed(std::string_view s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return "";
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

// The lines of a text, one at a time.
template <class F>
void eachLine(std::string_view text, F f) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        f(text.substr(pos, end - pos));
        pos = end + 1;
    }
}

}  // namespace

std::vector<ProcessorFacts> processors(std::string_view cpuinfo, const std::string& machine) {
    std::vector<ProcessorFacts> out;
    bool inProcessor = false;
    std::string family, model, stepping;
    auto finish = [&] {
        if (inProcessor && !family.empty())
            out.back().identifier = fromUtf8(machine + " Family " + family + " Model " + model +
                                             " Stepping " + stepping);
        inProcessor = false;
        family.clear(), model.clear(), stepping.clear();
    };
    eachLine(cpuinfo, [&](std::string_view line) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            if (trimmed(line).empty()) finish();
            return;
        }
        std::string key = trimmed(line.substr(0, colon));
        std::string value = trimmed(line.substr(colon + 1));
        if (key == "processor") {
            finish();
            out.emplace_back();
            inProcessor = true;
            return;
        }
        if (!inProcessor) return;
        ProcessorFacts& p = out.back();
        if (key == "model name") p.name = fromUtf8(value);
        else if (key == "vendor_id") p.vendor = fromUtf8(value);
        else if (key == "cpu MHz") p.mhz = std::atof(value.c_str());
        else if (key == "cpu family") family = value;
        else if (key == "model") model = value;
        else if (key == "stepping") stepping = value;
    });
    finish();
    return out;
}

uint64_t meminfoBytes(std::string_view meminfo, std::string_view key) {
    uint64_t found = 0;
    eachLine(meminfo, [&](std::string_view line) {
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == ':')
            found = std::strtoull(std::string(line.substr(key.size() + 1)).c_str(), nullptr, 10) *
                    1024;
    });
    return found;
}

void kernelRelease(const std::string& release, SystemFacts& f) {
    int* parts[] = {&f.major, &f.minor, &f.build};
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        size_t end = pos;
        while (end < release.size() && release[end] >= '0' && release[end] <= '9') ++end;
        if (end == pos) break;
        *parts[i] = std::atoi(release.substr(pos, end - pos).c_str());
        pos = end;
        if (i < 2 && pos < release.size() && release[pos] == '.') ++pos;
        else break;
    }
    std::string rest = release.substr(std::min(pos, release.size()));
    while (!rest.empty() && (rest[0] == '-' || rest[0] == '.' || rest[0] == '+')) rest.erase(0, 1);
    f.servicePack = fromUtf8(trimmed(rest));
}

std::string timeZoneOfLink(const std::string& target) {
    size_t at = target.rfind("zoneinfo/");
    if (at == std::string::npos) return "";
    std::string zone = target.substr(at + 9);
    // A zone of the "posix/" or "right/" trees is the same zone.
    for (const char* tree : {"posix/", "right/"})
        if (zone.rfind(tree, 0) == 0) zone.erase(0, std::strlen(tree));
    return fromUtf8(zone);
}

FileAssociation desktopEntry(std::string_view text) {
    FileAssociation a;
    bool mainGroup = false;
    eachLine(text, [&](std::string_view raw) {
        std::string line = trimmed(raw);
        if (!line.empty() && line[0] == '[') {
            mainGroup = line == "[Desktop Entry]";
            return;
        }
        if (!mainGroup) return;
        if (line.rfind("Exec=", 0) == 0) a.command = fromUtf8(trimmed(line.substr(5)));
        else if (line.rfind("Icon=", 0) == 0) a.icon = fromUtf8(trimmed(line.substr(5)));
    });
    return a;
}

std::string openCommand(const std::string& exec) {
    std::string cmd = exec;
    size_t cut = cmd.rfind(" %");
    if (cut != std::string::npos) cmd.resize(cut);
    while (!cmd.empty() && cmd.back() == ' ') cmd.pop_back();
    return cmd;
}

std::string mimeTypeOf(std::string_view globs2, const std::string& ext) {
    std::string want = "*." + toUtf8(lowerCase(ext));
    std::string best;
    int bestWeight = -1;
    eachLine(globs2, [&](std::string_view line) {
        if (line.empty() || line[0] == '#') return;
        // weight:type:glob[:flags]
        size_t a = line.find(':');
        size_t b = a == std::string_view::npos ? a : line.find(':', a + 1);
        if (b == std::string_view::npos) return;
        std::string glob(line.substr(b + 1));
        if (size_t c = glob.find(':'); c != std::string::npos) glob.resize(c);
        for (char& ch : glob) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        int weight = std::atoi(std::string(line.substr(0, a)).c_str());
        if (glob == want && weight > bestWeight) {
            bestWeight = weight;
            best = std::string(line.substr(a + 1, b - a - 1));
        }
    });
    return best;
}

}  // namespace sysinfo

// ---------------------------------------------------------------------------------------------
// The live system

namespace {


std::string firstLine(const std::string& path) {
    std::string s = os::readSystemFile(path);
    if (size_t nl = s.find('\n'); nl != std::string::npos) s.resize(nl);
    return sysinfo::trimmed(s);
}

// A program's standard output (run without a shell, found on PATH); "" when it cannot be run,
// fails or takes longer than a few seconds.
std::string programOutput(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0) return "";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addclose(&fa, fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return "";
    }
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int n = ::poll(&p, 1, int(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            timedOut = n == 0;
            break;
        }
        char buf[4096];
        ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        out.append(buf, size_t(got));
    }
    ::close(fds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
    return sysinfo::trimmed(out);
}

// The directories the desktop keeps its shared data in, the user's first.
std::vector<std::string> dataDirs() {
    std::vector<std::string> dirs;
    if (const char* h = std::getenv("XDG_DATA_HOME"); h && *h) dirs.push_back(h);
    else if (const char* home = std::getenv("HOME"); home && *home)
        dirs.push_back(std::string(home) + "/.local/share");
    std::string list = "/usr/local/share:/usr/share";
    if (const char* d = std::getenv("XDG_DATA_DIRS"); d && *d) list = d;
    std::stringstream ss(list);
    for (std::string d; std::getline(ss, d, ':');)
        if (!d.empty()) dirs.push_back(d);
    return dirs;
}

std::string defaultApplication(const std::string& mimeType) {
    return programOutput({"xdg-mime", "query", "default", mimeType});
}

FileAssociation associationOf(const std::string& ext) {
    FileAssociation a;
    std::string type;
    for (const std::string& d : dataDirs()) {
        type = sysinfo::mimeTypeOf(os::readSystemFile(d + "/mime/globs2"), ext);
        if (!type.empty()) break;
    }
    if (type.empty()) return a;
    std::string entry = defaultApplication(type);
    if (entry.empty()) return a;
    for (const std::string& d : dataDirs()) {
        std::string text = os::readSystemFile(d + "/applications/" + entry);
        if (!text.empty()) {
            a = sysinfo::desktopEntry(text);
            break;
        }
    }
    a.program = fromUtf8(entry);
    return a;
}

void readNetwork(SystemFacts& f) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) f.hostName = fromUtf8(host);
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return;
    const ifaddrs* chosen = nullptr;
    // An IPv4 address first, as the stations see each other on a local network; else IPv6.
    for (int family : {AF_INET, AF_INET6}) {
        for (const ifaddrs* i = list; i && !chosen; i = i->ifa_next)
            if (i->ifa_addr && i->ifa_addr->sa_family == family && (i->ifa_flags & IFF_UP) &&
                !(i->ifa_flags & IFF_LOOPBACK))
                chosen = i;
        if (chosen) break;
    }
    if (chosen) {
        socklen_t len = chosen->ifa_addr->sa_family == AF_INET ? sizeof(sockaddr_in)
                                                                : sizeof(sockaddr_in6);
        char addr[NI_MAXHOST] = {}, name[NI_MAXHOST] = {};
        if (::getnameinfo(chosen->ifa_addr, len, addr, sizeof addr, nullptr, 0, NI_NUMERICHOST) == 0)
            f.ip = addr;
        if (::getnameinfo(chosen->ifa_addr, len, name, sizeof name, nullptr, 0, NI_NAMEREQD) == 0)
            f.addressName = fromUtf8(name);
    }
    ::freeifaddrs(list);
}

}  // namespace

SystemFacts currentSystemFacts() {
    SystemFacts f;
    utsname u{};
    std::string machine;
    if (::uname(&u) == 0) {
        sysinfo::kernelRelease(u.release, f);
        machine = u.machine;
    }
    readNetwork(f);
    std::string osRelease = os::readSystemFile("/etc/os-release");
    sysinfo::eachLine(osRelease, [&](std::string_view line) {
        if (line.substr(0, 12) != "PRETTY_NAME=") return;
        std::string v = sysinfo::trimmed(line.substr(12));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'')) v = v.substr(1, v.size() - 2);
        f.systemName = fromUtf8(v);
    });
    f.computerName = os::computerName();
    f.processors = sysinfo::processors(os::readSystemFile("/proc/cpuinfo"), machine);
    for (size_t i = 0; i < f.processors.size(); ++i) {
        // The nominal speed where cpufreq tells it; "cpu MHz" is the speed of the moment.
        std::string khz = firstLine("/sys/devices/system/cpu/cpu" + std::to_string(i) +
                                    "/cpufreq/cpuinfo_max_freq");
        if (!khz.empty()) f.processors[i].mhz = std::atof(khz.c_str()) / 1000.0;
    }
    const std::string dmi = "/sys/class/dmi/id/";
    f.biosDate = fromUtf8(firstLine(dmi + "bios_date"));
    f.biosName = fromUtf8(sysinfo::trimmed(firstLine(dmi + "bios_vendor") + " " +
                                           firstLine(dmi + "bios_version")));
    char link[4096];
    ssize_t n = ::readlink("/etc/localtime", link, sizeof link - 1);
    if (n > 0) f.timeZone = sysinfo::timeZoneOfLink(std::string(link, size_t(n)));
    if (f.timeZone.empty()) f.timeZone = fromUtf8(firstLine("/etc/timezone"));
    f.defaultBrowser = fromUtf8(defaultApplication("x-scheme-handler/http"));
    if (f.defaultBrowser.empty()) f.defaultBrowser = fromUtf8(defaultApplication("text/html"));
    f.associations["ZIP"] = associationOf("ZIP");
    std::string meminfo = os::readSystemFile("/proc/meminfo");
    f.memTotal = sysinfo::meminfoBytes(meminfo, "MemTotal");
    f.memAvailable = sysinfo::meminfoBytes(meminfo, "MemAvailable");
    if (f.memAvailable == 0) f.memAvailable = sysinfo::meminfoBytes(meminfo, "MemFree");
    f.pageTotal = sysinfo::meminfoBytes(meminfo, "SwapTotal");
    f.pageAvailable = sysinfo::meminfoBytes(meminfo, "SwapFree");
    f.virtualTotal = sysinfo::meminfoBytes(meminfo, "CommitLimit");
    uint64_t committed = sysinfo::meminfoBytes(meminfo, "Committed_AS");
    f.virtualAvailable = f.virtualTotal > committed ? f.virtualTotal - committed : 0;
    return f;
}

}  // namespace wv
