#include "invoice/taxes.h"

namespace wv {

// The quotient is taken first and then multiplied, always in this order, so that every caller
// gets bit-for-bit the same tax part for the same amount and rate.
double nImpuestosValor(double amount, double percentage) {
    const double rate = percentage / 100.0;
    return amount * rate;
}

double nValorConImpuestos(double amount, double percentage) {
    return amount + nImpuestosValor(amount, percentage);
}

double nValorSinImpuestos(double amount, double percentage) {
    return amount - nImpuestosValor(amount, percentage);
}

}  // namespace wv
