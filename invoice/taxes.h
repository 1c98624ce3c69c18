// The percentage arithmetic of the two taxes of an invoice line (I.V.A. and Hospedaje). A
// percentage is a whole-number rate as the catalogue holds it (16 means 16 %). Nothing is rounded
// here: a result keeps full precision until a two-decimal field or a picture rounds it.
#pragma once

namespace wv {

// The tax part of an amount: amount * (percentage / 100).
double nImpuestosValor(double amount, double percentage);
// The amount with the tax part added.
double nValorConImpuestos(double amount, double percentage);
// The amount with the tax part taken off. Not the inverse of nValorConImpuestos (116 at 16 %
// gives 97.44); backing the net part out of a tax-inclusive price is the line editor's job.
double nValorSinImpuestos(double amount, double percentage);

}  // namespace wv
