#include "data/errorlog.h"

#include <dirent.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "data/workarea.h"
#include "runtime/codepage.h"
#include "runtime/date.h"
#include "runtime/transform.h"
#include "storage/workstation.h"

namespace wv {

namespace {

const char* const kEol = "\r\n";
const char* const kRdd = "DBFCDX";


std::string padLeft(const std::string& s, size_t n) {
    return s.size() >= n ? s : std::string(n - s.size(), ' ') + s;
}

std::string padRight(const std::string& s, size_t n) {
    return s.size() >= n ? s : s + std::string(n - s.size(), ' ');
}

std::string num(long long n, size_t width) { return padLeft(std::to_string(n), width); }

// The value after "key<blanks>:" on the first line that starts with key.
std::string field(std::string_view text, std::string_view key) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (line.substr(0, key.size()) == key) {
            size_t colon = line.find(':', key.size());
            bool onlyBlanks = colon != std::string_view::npos &&
                              line.substr(key.size(), colon - key.size())
                                      .find_first_not_of(" \t") == std::string_view::npos;
            if (onlyBlanks) {
                std::string_view v = line.substr(colon + 1);
                size_t b = v.find_first_not_of(" \t\r");
                if (b == std::string_view::npos) return "";
                return std::string(v.substr(b, v.find_last_not_of(" \t\r") - b + 1));
            }
        }
        pos = end + 1;
    }
    return "";
}

// The leading whole number of a text such as "16314748 kB"; false when there is none.
bool leadingNumber(const std::string& s, long long* out) {
    if (s.empty() || s[0] < '0' || s[0] > '9') return false;
    *out = std::strtoll(s.c_str(), nullptr, 10);
    return true;
}

// A path from the system (UTF-8) as a program text.
std::string systemText(const std::string& s) { return fromUtf8(s); }

std::string exePath() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return std::string(buf, size_t(n));
}

std::string elapsedSinceStart() {
    // The process's start in clock ticks after boot against the time the machine has been up.
    std::string stat = os::readSystemFile("/proc/self/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return "";
    std::istringstream rest(stat.substr(close + 1));
    std::string tok;
    long long start = -1;
    for (int i = 3; i <= 22 && rest >> tok; ++i)
        if (i == 22) start = std::atoll(tok.c_str());
    double up = 0;
    std::istringstream uptime(os::readSystemFile("/proc/uptime"));
    long ticks = ::sysconf(_SC_CLK_TCK);
    if (start < 0 || !(uptime >> up) || ticks <= 0) return "";
    double secs = up - double(start) / double(ticks);
    return errlog::clockText(long(std::max(0.0, secs)));
}

std::string compilerVersion() {
#if defined(__clang__)
    return "Clang " __clang_version__;
#elif defined(__GNUC__)
    return "GCC " __VERSION__;
#else
    return "";
#endif
}

std::string osVersion() {
    utsname u{};
    if (::uname(&u) != 0) return "";
    return systemText(std::string(u.sysname) + " " + u.release + " " + u.version);
}

std::vector<std::string> runningTasks() {
    std::vector<std::pair<long, std::string>> found;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* ent = ::readdir(d)) {
            const char* n = ent->d_name;
            if (!*n || std::strspn(n, "0123456789") != std::strlen(n)) continue;
            // Kernel threads have no command line; the tasks are the programs.
            std::string dir = std::string("/proc/") + n;
            if (os::readSystemFile(dir + "/cmdline").empty()) continue;
            std::string comm = os::readSystemFile(dir + "/comm");
            while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r')) comm.pop_back();
            if (!comm.empty()) found.emplace_back(std::atol(n), systemText(comm));
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

// A value as the variables list shows it: texts quoted, arrays by their length.
std::string valueDescription(const Value& v) {
    if (v.isText()) return "\"" + v.text() + "\"";
    if (v.isArray()) return "Len: " + num(static_cast<long long>(v.array().size()), 4);
    return errlog::valueText(v);
}

class Report {
public:
    void line(const std::string& s = "") { out_ += s + kEol; }
    void title(const std::string& s) {
        if (!out_.empty()) line();
        line(s);
        line(std::string(s.size(), '='));
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

void databases(Report& r) {
    Workspace& ws = workspace();
    for (int n = 1; n <= Workspace::kMaxAreas; ++n) {
        WorkArea* a = ws.area(n);
        if (!a || a->alias().empty()) continue;
        r.line();
        r.line(num(n, 3) + ": " + (n == ws.current() ? "=> " : "   ") + padRight(a->alias(), 15) +
               std::string(20, ' ') + "RddName: " + kRdd);
        r.line("     ==============================");
        r.line("     RecNo    RecCount    BOF   EOF");
        r.line("     " + transform(Value::number(a->recNo()), "9999999") + "      " +
               transform(Value::number(a->recCount()), "9999999") + "      " +
               (a->bof() ? ".T." : ".F.") + "   " + (a->eof() ? ".T." : ".F."));
        r.line("     Indexes in use" + std::string(23, ' ') + "TagName");
        if (CdxBag* bag = a->bag()) {
            CdxTag* active = a->controllingTag();
            int order = 0;
            for (CdxTag* t : bag->tags()) {
                if (++order > 15) break;
                if (t->keyExpr().empty()) continue;
                r.line((t == active ? std::string("=> ") : std::string(8, ' ')) +
                       padRight(t->keyExpr(), 35) + t->name());
            }
        }
        // Work areas carry no relations; the heading stays.
        r.line("     Relations in use");
    }
}

}  // namespace

namespace errlog {

std::string cpuName(std::string_view cpuinfo) { return field(cpuinfo, "model name"); }

std::string cpuMhz(std::string_view cpuinfo) {
    std::string v = field(cpuinfo, "cpu MHz");
    if (v.empty() || v[0] < '0' || v[0] > '9') return "";
    return std::to_string(std::llround(std::strtod(v.c_str(), nullptr)));
}

std::string memoryMegs(std::string_view meminfo) {
    long long kb;
    if (!leadingNumber(field(meminfo, "MemTotal"), &kb)) return "";
    return std::to_string(kb / 1024 + 1);
}

std::string statusBytes(std::string_view status, std::string_view key) {
    long long kb;
    if (!leadingNumber(field(status, key), &kb)) return "";
    return std::to_string(kb * 1024);
}

std::string clockText(long seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buf;
}

std::string valueText(const Value& v) {
    switch (v.type()) {
        case Value::Type::Text: return v.text();
        case Value::Type::Number: return allTrim(v.toText());
        case Value::Type::Date: return dtoc(v.date());
        case Value::Type::Logical: return v.logical() ? ".T." : ".F.";
        case Value::Type::Nil: return "NIL";
        case Value::Type::Array: return v.toText();
    }
    return "";
}

}  // namespace errlog

ErrorLogFacts currentErrorLogFacts() {
    ErrorLogFacts f;
    std::string exe = exePath();
    f.exePath = systemText(exe);
    f.bits = std::to_string(sizeof(void*) * 8);
    if (!exe.empty()) {
        std::ifstream in(exe, std::ios::binary | std::ios::ate);
        if (in) f.exeSize = transform(Value::number(double(in.tellg())), "999,999,999 bytes");
    }
    f.elapsed = elapsedSinceStart();
    DateTime n = now();
    f.date = dtoc(n.date);
    f.time = n.time;
    std::string cpuinfo = os::readSystemFile("/proc/cpuinfo");
    f.cpuName = systemText(errlog::cpuName(cpuinfo));
    f.cpuMhz = errlog::cpuMhz(cpuinfo);
    f.memoryMegs = errlog::memoryMegs(os::readSystemFile("/proc/meminfo"));
    f.compiler = compilerVersion();
    f.osVersion = osVersion();
    f.tasks = runningTasks();
    std::string status = os::readSystemFile("/proc/self/status");
    f.memActual = errlog::statusBytes(status, "VmRSS");
    f.memHighest = errlog::statusBytes(status, "VmHWM");
    return f;
}

std::vector<std::string> errorCallLines(const Error& e) {
    // The runtime keeps no record of the calls that led here; the one call known is the
    // operation that failed, with no module or line to name.
    if (e.operation.empty()) return {};
    return {"Called from:  => " + e.operation + "()"};
}

std::string errorReport(const Error& e, const ErrorLogFacts& f) {
    Report r;
    r.title("Application");
    r.line("   Path and name: " + f.exePath + " (" + f.bits + " bits)");
    r.line("   Size: " + f.exeSize);
    r.line("   Time from start: " + f.elapsed);
    r.line("   Error occurred at: " + f.date + ", " + f.time);
    r.line("   Error description: " + errorMessage(e));
    if (e.args) {
        r.line("   Args:");
        long i = 0;
        for (const Value& v : *e.args)
            r.line("     [" + num(++i, 4) + "] = " + v.typeLetter() + "   " + errlog::valueText(v));
    }

    r.title("Stack Calls");
    for (const std::string& c : errorCallLines(e)) r.line("   " + c);

    r.title("System");
    r.line("   CPU type: " + f.cpuName + " " + f.cpuMhz + " Mhz");
    r.line("   Hardware memory: " + f.memoryMegs + " megs");
    r.line();
    r.line("   Free System resources: " + f.freeSystem + " %");
    r.line("        GDI    resources: " + f.freeGdi + " %");
    r.line("        User   resources: " + f.freeUser + " %");
    r.line();
    r.line("   Compiler version: " + f.compiler);
    r.line("   Windows version: " + f.osVersion);
    r.line();
    r.line("   Windows total applications running: " + std::to_string(f.tasks.size()));
    long task = 0;
    for (const std::string& t : f.tasks) r.line("    " + num(++task, 3) + " " + t);

    r.title("Variables in use");
    r.line("   Procedure     Type   Value");
    r.line("   ==========================");
    if (!e.operation.empty()) {
        // The failing operation's arguments are its parameters; its locals are not known.
        r.line("   " + e.operation);
        if (e.args) {
            long i = 0;
            for (const Value& v : *e.args)
                r.line("     Param " + num(++i, 3) + ":    " + v.typeLetter() + "    " +
                       valueDescription(v));
        }
    }

    r.title("Linked RDDs");
    r.line(std::string("   ") + kRdd);

    r.title("DataBases in use");
    databases(r);

    r.title("Classes in use:");
    long cls = 0;
    for (const std::string& c : f.classes) r.line("   " + num(++cls, 3) + " " + c);

    r.title("Memory Analysis");
    r.line("      " + f.staticVars + " Static variables");
    r.line();
    r.line("   Dynamic memory consume:");
    r.line("      Actual  Value: " + f.memActual + " bytes");
    r.line("      Highest Value: " + f.memHighest + " bytes");
    return r.take();
}

std::string errorReport(const Error& e) { return errorReport(e, currentErrorLogFacts()); }

bool writeErrorLog(const std::string& report, const std::string& path) {
    try {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(report.data(), std::streamsize(report.size()));
        out.close();
        return bool(out);
    } catch (...) {
        return false;
    }
}

}  // namespace wv
