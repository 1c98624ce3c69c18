#include "invoice/words.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "runtime/numtext.h"

namespace wv {

namespace {

// Indexed by a digit 1..9 (slot 0 unused).
const char* const kUnidades[] = {"",      "UN",   "DOS",   "TRES", "CUATRO",
                                 "CINCO", "SEIS", "SIETE", "OCHO", "NUEVE"};
const char* const kOnceADiecinueve[] = {"",       "ONCE",      "DOCE",       "TRECE",
                                        "CATORCE", "QUINCE",   "DIECISEIS",  "DIECISIETE",
                                        "DIECIOCHO", "DIECINUEVE"};
const char* const kDecenas[] = {"",         "DIEZ",    "VEINTE",  "TREINTA", "CUARENTA",
                                "CINCUENTA", "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"};
const char* const kCentenas[] = {"",           "CIENTO",        "DOSCIENTOS",  "TRESCIENTOS",
                                 "CUATROCIENTOS", "QUINIENTOS", "SEISCIENTOS", "SETECIENTOS",
                                 "OCHOCIENTOS", "NOVECIENTOS"};

// The words of a group of three digits worth 1..999.
void groupWords(int value, std::vector<std::string>& words) {
    const int h = value / 100, t = value / 10 % 10, u = value % 10;
    if (t == 0 && u == 0) {
        words.push_back(h == 1 ? "CIEN" : kCentenas[h]);
        return;
    }
    if (h != 0) words.push_back(kCentenas[h]);
    if (u == 0) {
        words.push_back(kDecenas[t]);
    } else if (t == 0) {
        words.push_back(kUnidades[u]);
    } else if (t == 1) {
        words.push_back(kOnceADiecinueve[u]);
    } else if (t == 2) {
        words.push_back(std::string("VEINTI") + kUnidades[u]);
    } else {
        words.push_back(kDecenas[t]);
        words.push_back("Y");
        words.push_back(kUnidades[u]);
    }
}

}  // namespace

std::string nToL(double amount, bool pesos) {
    if (!std::isfinite(amount) || amount < 0) return "";
    // Whole cents, rounded half away from zero as every amount of the program is.
    const double rounded = roundTo(amount, 2);
    if (rounded >= 1e12) return "";
    const int64_t totalCents = std::llround(rounded * 100.0);
    const int64_t whole = totalCents / 100;
    const int cents = int(totalCents % 100);

    const std::string moneda = pesos ? " PESOS " : " DOLARES ";
    const std::string cola = pesos ? "/100 M.N.)" : "/100 USD.)";
    std::string centavos(2, '0');
    centavos[0] = char('0' + cents / 10);
    centavos[1] = char('0' + cents % 10);

    if (whole == 0) return "(CERO" + moneda + centavos + cola;
    if (whole == 1) return "(UN" + moneda + centavos + cola;

    // Thousands of millions, millions, thousands, units.
    const int g1 = int(whole / 1000000000 % 1000), g2 = int(whole / 1000000 % 1000),
              g3 = int(whole / 1000 % 1000), g4 = int(whole % 1000);
    std::vector<std::string> words;
    if (g1 != 0) {
        groupWords(g1, words);
        words.push_back("MIL");
        if (g2 == 0 && (g3 != 0 || g4 != 0)) words.push_back("MILLONES");
    }
    if (g2 != 0) {
        groupWords(g2, words);
        words.push_back(g2 > 1 ? "MILLONES" : "MILLON");
    }
    if (g3 != 0) {
        groupWords(g3, words);
        words.push_back("MIL");
    }
    if (g4 != 0) groupWords(g4, words);
    if (g1 != 0 && g2 == 0 && g3 == 0 && g4 == 0) {
        words.push_back("MILLONES");
        words.push_back("DE");
    } else if (g2 != 0 && g3 == 0 && g4 == 0) {
        words.push_back("DE");
    }

    std::string out = "(";
    for (size_t i = 0; i < words.size(); ++i) {
        if (i) out += ' ';
        out += words[i];
    }
    return out + moneda + " " + centavos + cola;
}

}  // namespace wv
