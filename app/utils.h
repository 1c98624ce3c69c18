// General routines of the application that belong to no one screen: word wrap into fixed-width
// lines, a value as text, a random number and the workstation's network address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace wv {

// GRAPPA: wraps a text into lines of exactly `nAncho` characters, breaking at blanks and carriage
// returns and honouring CR LF pairs. A text that fits is returned as one line without padding; a
// width of 0 or less gives one empty line.
std::vector<std::string> grappa(const std::string& cTexto = "", int nAncho = 0);

// XTOC: text as it is, a number in its default text form, a date in the process date format;
// any other type shows "Tipo no considerado [x]" and gives "".
std::string xToC(const Value& xValor);

// ALEATORIO: a whole number from 1 to nMax inclusive, drawn at random; 0 when nMax is below 1
// (there is no number to draw from).
int64_t aleatorio(int64_t nMax);

// F_IPLOCAL: the workstation's IPv4 address as dotted text, or "" when it has none that can be
// found. The host name is resolved first; when it resolves only to the loopback address (as many
// systems configure it), the address of the first network interface that is up is taken instead.
std::string fIpLocal();

}  // namespace wv
