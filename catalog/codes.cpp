#include "catalog/codes.h"

namespace wv {

std::string cero1(const std::string& code) {
    const size_t first = code.find_first_not_of(' ');
    if (first == std::string::npos) return std::string(code.size(), '0');
    const size_t last = code.find_last_not_of(' ');
    const std::string trimmed = code.substr(first, last - first + 1);
    return std::string(code.size() - trimmed.size(), '0') + trimmed;
}

}  // namespace wv
