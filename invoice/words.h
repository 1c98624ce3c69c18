// An amount written out in Spanish capitals, in the legal form printed on invoices:
// "(UN MIL DOSCIENTOS TREINTA Y CUATRO PESOS  56/100 M.N.)".
#pragma once

#include <string>

namespace wv {

// NTOL: the amount rounded to the cent, its whole units in words, the currency word, the cents
// as two digits over 100 and the currency's abbreviation, in parentheses. Pesos unless `pesos`
// is false (dollars). The amount must be at least 0 and below 10^12 once rounded to the cent;
// outside that range (or for a value that is not a number) the result is an empty text, so that
// nothing misleading reaches a printed invoice.
std::string nToL(double amount, bool pesos = true);

}  // namespace wv
