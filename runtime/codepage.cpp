#include "runtime/codepage.h"
namespace wv {
std::string toUtf8(std::string_view s) { return std::string(s); }
std::string fromUtf8(std::string_view s) { return std::string(s); }
}
