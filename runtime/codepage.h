// Code page 1252 (Windows Western) to and from UTF-8, for texts that leave the program: the
// terminal, CSV files and the screen. Inside the program and in the files texts stay CP1252.
#pragma once

#include <string>
#include <string_view>

namespace wv {

std::string toUtf8(std::string_view cp1252);
// Characters that code page 1252 cannot hold become '?'; malformed UTF-8 bytes are taken as
// CP1252 bytes themselves, so that nothing is lost from text that was not UTF-8 to begin with.
std::string fromUtf8(std::string_view utf8);

// Capitals in code page 1252: a..z and the accented letters (á → Á, ñ → Ñ, š → Š, ÿ → Ÿ...);
// letters without a capital in the code page (ß, µ) stay as they are.
char upperCaseChar(char c);
std::string upperCase(std::string_view cp1252);
char lowerCaseChar(char c);
std::string lowerCase(std::string_view cp1252);
// The text without leading and trailing blanks.
std::string allTrim(std::string_view s);
// PADR: the text cut to the width, or filled with blanks on its right up to it.
std::string padR(std::string_view s, size_t width);

}  // namespace wv
