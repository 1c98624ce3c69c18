// Catalogue codes: digits held as text, right-aligned and filled with leading zeros.
#pragma once

#include <string>

namespace wv {

// CERO1: the code right-aligned in its own length with zeros in front: "12  " and "  12" both
// give "0012", four blanks give "0000". Blanks inside the code stay where they are.
std::string cero1(const std::string& code);

}  // namespace wv
