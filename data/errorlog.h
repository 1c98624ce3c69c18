// The diagnostic report written to "Error.log" when a run-time error reaches the operator: the
// program, the error, the machine, the open work areas and the memory in use. What the platform
// cannot tell leaves its value empty and keeps its line, so that every report has the same shape.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/error.h"

namespace wv {

// What the report says about the program and the machine, gathered when the error comes. Every
// value is text as it goes into its line (an empty text when the platform has no equivalent).
struct ErrorLogFacts {
    std::string exePath;      // path and name of the executable
    std::string bits;         // "64" for a 64-bit build
    std::string exeSize;      // bytes, formatted "9,999,999 bytes"
    std::string elapsed;      // time since the process started, "hh:mm:ss"
    std::string date;         // current date in the process date format
    std::string time;         // "hh:mm:ss"
    std::string cpuName;
    std::string cpuMhz;
    std::string memoryMegs;   // installed memory in MiB, integer part plus 1
    std::string freeSystem, freeGdi, freeUser;  // no equivalent: empty
    std::string compiler;     // the C++ compiler and its version
    std::string osVersion;    // system name, release and version
    std::vector<std::string> tasks;    // names of the running processes
    std::vector<std::string> classes;  // classes of the objects the interface has up
    std::string staticVars;   // no equivalent: empty
    std::string memActual;    // resident bytes now
    std::string memHighest;   // highest resident bytes
};

// The facts as the system gives them now.
ErrorLogFacts currentErrorLogFacts();

// The lines of the call stack that can be known: the failing operation, "Called from: ..." (no
// indentation). Empty when the error names no operation.
std::vector<std::string> errorCallLines(const Error& e);

// The whole report, every line ended by CR LF. The open work areas are read from workspace().
std::string errorReport(const Error& e, const ErrorLogFacts& facts);
std::string errorReport(const Error& e);

// Writes the report to the file (by default "Error.log" in the current directory), replacing a
// previous one. A failure is swallowed: false, and nothing else happens.
bool writeErrorLog(const std::string& report, const std::string& path = "Error.log");

// Readers of the system's texts, kept apart so that their rules can be checked on sample texts.
namespace errlog {
// "model name" of the first processor in /proc/cpuinfo.
std::string cpuName(std::string_view cpuinfo);
// "cpu MHz" of the first processor, rounded to a whole number.
std::string cpuMhz(std::string_view cpuinfo);
// MemTotal of /proc/meminfo in MiB, integer part, plus 1.
std::string memoryMegs(std::string_view meminfo);
// A "kB" line of /proc/self/status (VmRSS, VmHWM...) in bytes.
std::string statusBytes(std::string_view status, std::string_view key);
// Seconds as "hh:mm:ss" (hours grow past two digits when needed).
std::string clockText(long seconds);
// How the values of a call's arguments are written: text as it is, numbers without leading
// blanks, dates in the date format, logicals as ".T."/".F.", nil as "NIL".
std::string valueText(const Value& v);
}  // namespace errlog

}  // namespace wv
