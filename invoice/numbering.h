// Invoice numbers: 10 characters, either 10 digits or one letter followed by 9 digits. The last
// number issued is the setting "CFACTURA" of the configuration store; the capture screen proposes
// the one after it.
#pragma once

#include <optional>
#include <string>

#include "runtime/value.h"

namespace wv {

// The number that follows `last`: a leading letter is kept as the series prefix, the digits after
// it (read up to the first character that is not a digit, blanks before them skipped) are counted
// up by one and written zero-filled to 10 digits, or 9 after a prefix. "0000000041" gives
// "0000000042", "A000000123" gives "A000000124". Nothing (nullopt) when the series is used up
// ("9999999999", "A999999999"): the next number would not fit in 10 characters, and starting the
// series again would propose numbers already issued.
std::optional<std::string> nextInvoiceNumber(const std::string& last);

// The proposal made from the stored value of "CFACTURA" as the configuration store returns it.
// Nil (the store could not be opened; the operator has been told) gives "". A used-up series
// tells the operator with a stop box and gives "", so that the operator types the number of the
// new series.
std::string proposeInvoiceNumber(const Value& stored);

// F_GETNEWIDFACTURA: the proposal for the next invoice, read from the configuration store
// (default "0000000000"). Reads the counter; does not store it. "" when no number can be proposed.
std::string fGetNewIdFactura();

}  // namespace wv
